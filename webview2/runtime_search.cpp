#include "webview2/runtime_search.h"

#include <algorithm>

const std::array<RuntimeChannel, 4>& AllRuntimeChannels() {
  static const std::array<RuntimeChannel, 4> kChannels = {{
      {L"", L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}"},
      {L"beta", L"{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}"},
      {L"dev", L"{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}"},
      {L"canary", L"{65C35B14-6C1D-4122-AC46-7148CC9D6497}"},
  }};
  return kChannels;
}

std::vector<RuntimeChannel> RuntimeChannelsToSearch(bool reverse, const std::wstring& channelList) {
  const auto& all = AllRuntimeChannels();
  std::array<bool, 4> wanted{};
  if (channelList.empty()) {
    wanted.fill(true);
  } else {
    std::size_t start = 0;
    while (start <= channelList.size()) {
      std::size_t comma = channelList.find(L',', start);
      if (comma == std::wstring::npos) comma = channelList.size();
      std::wstring item = channelList.substr(start, comma - start);
      item.erase(0, item.find_first_not_of(L" \t"));
      item.erase(item.find_last_not_of(L" \t") + 1);
      std::size_t index = 0;  // invalid entries count as Stable
      if (item.size() == 1 && item[0] >= L'0' && item[0] <= L'3') {
        index = static_cast<std::size_t>(item[0] - L'0');
      }
      wanted[index] = true;
      start = comma + 1;
    }
  }
  std::vector<RuntimeChannel> result;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (wanted[i]) result.push_back(all[i]);
  }
  if (reverse) std::reverse(result.begin(), result.end());
  return result;
}

std::wstring VersionFromInstallFolder(std::wstring folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  const std::size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? folder : folder.substr(slash + 1);
}

bool IsSupportedRuntimeVersion(const std::wstring& version) {
  unsigned long long parts[4] = {};
  std::size_t part = 0;
  bool sawDigit = false;
  for (wchar_t c : version) {
    if (c >= L'0' && c <= L'9') {
      parts[part] = parts[part] * 10 + static_cast<unsigned>(c - L'0');
      if (parts[part] > 0xFFFFFFFFull) return false;
      sawDigit = true;
    } else if (c == L'.' && sawDigit && part < 3) {
      ++part;
      sawDigit = false;
    } else {
      return false;
    }
  }
  if (part != 3 || !sawDigit) return false;
  const unsigned long long minimum[4] = {86, 0, 616, 0};
  for (int i = 0; i < 4; ++i) {
    if (parts[i] != minimum[i]) return parts[i] > minimum[i];
  }
  return true;
}

RuntimeArch BuildArch() {
#if defined(_M_ARM64) || defined(__aarch64__)
  return RuntimeArch::Arm64;
#elif defined(_M_IX86) || defined(__i386__)
  return RuntimeArch::X86;
#else
  return RuntimeArch::X64;
#endif
}

const wchar_t* ArchFolderName(RuntimeArch arch) {
  switch (arch) {
    case RuntimeArch::X86:
      return L"x86";
    case RuntimeArch::Arm64:
      return L"arm64";
    case RuntimeArch::X64:
      break;
  }
  return L"x64";
}

namespace {

std::wstring WithTrailingSeparator(std::wstring path) {
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path;
}

}  // namespace

std::wstring ClientDllPath(const std::wstring& runtimeFolder) {
  return ClientDllPath(runtimeFolder, BuildArch());
}

std::wstring ClientDllPath(const std::wstring& runtimeFolder, RuntimeArch arch) {
  return WithTrailingSeparator(runtimeFolder) + L"EBWebView\\" + ArchFolderName(arch) +
         L"\\EmbeddedBrowserWebView.dll";
}

std::wstring OverriddenValue(const std::wstring& environmentValue, const wchar_t* argument) {
  if (!environmentValue.empty()) return environmentValue;
  return argument ? std::wstring(argument) : std::wstring();
}

bool ChannelSearchReversed(const std::wstring& releaseChannelPreference,
                           const std::wstring& channelSearchKind) {
  return releaseChannelPreference == L"1" || channelSearchKind == L"1";
}

std::wstring ResolveFixedFolder(const std::wstring& folder, const std::wstring& exeFolder) {
  if (folder.empty()) return folder;
  const bool hasDrive = folder.size() > 1 && folder[1] == L':';
  const bool rooted = folder[0] == L'\\' || folder[0] == L'/';
  if (hasDrive || rooted || exeFolder.empty()) return folder;
  return WithTrailingSeparator(exeFolder) + folder;
}

std::wstring VersionTextFor(const RuntimeChannel& channel, const std::wstring& version) {
  if (channel.name[0] == L'\0') return version;
  return version + L" " + channel.name;
}

EnvironmentRequest MakeEnvironmentRequest(const std::wstring& runtimeFolder, bool fixedFolder,
                                          const std::wstring& userDataEnvironment,
                                          const wchar_t* userDataArgument, RuntimeArch arch) {
  EnvironmentRequest request;
  request.clientDll = ClientDllPath(runtimeFolder, arch);
  request.runtimeType = fixedFolder ? RuntimeType::FixedFolder : RuntimeType::Installed;
  request.userDataFolder = OverriddenValue(userDataEnvironment, userDataArgument);
  return request;
}
