#include <windows.h>

#include <objbase.h>

#include <cstring>
#include <vector>

#include "bridge/text_file.h"
#include "host/win_handles.h"
#include "webview2/runtime_search.h"
#include "webview2/webview2_loader.h"

namespace {

// A fixed folder may be relative; Microsoft's loader resolves it against the exe's folder.
std::wstring ResolveAgainstExeFolder(const std::wstring& folder) {
  wchar_t exe[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return folder;
  std::wstring base(exe, length);
  base.erase(base.find_last_of(L'\\') + 1);
  return ResolveFixedFolder(folder, base);
}

// ProductVersion from the version resource, as the loader reports for fixed folders.
std::wstring ProductVersionOf(const std::wstring& dllPath) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(dllPath.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!::GetFileVersionInfoW(dllPath.c_str(), 0, size, block.data())) return {};
  wchar_t* text = nullptr;
  UINT chars = 0;
  if (!::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                        reinterpret_cast<void**>(&text), &chars) ||
      !text || chars == 0) {
    return {};
  }
  return std::wstring(text, wcsnlen(text, chars));
}

std::wstring ReadInstallFolder(HKEY root, REGSAM extra, const RuntimeChannel& channel) {
  const std::wstring keyPath =
      std::wstring(L"Software\\Microsoft\\EdgeUpdate\\ClientState\\") + channel.clientGuid;
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | extra, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t value[MAX_PATH * 2] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"EBWebView", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  return std::wstring(value, wcsnlen(value, bytes / sizeof(wchar_t)));
}

}  // namespace

std::wstring WebView2EnvironmentValue(const wchar_t* name) {
  // Sized by a first call: a long folder must not be dropped as if the variable were unset.
  const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, value.data(), needed);
  if (length == 0 || length >= needed) return {};
  value.resize(length);
  return value;
}

HRESULT FindWebView2Runtime(PCWSTR browserExecutableFolder, FoundRuntime* found) {
  if (!found) return E_POINTER;
  *found = FoundRuntime{};
  std::wstring folder = OverriddenValue(
      WebView2EnvironmentValue(L"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"), browserExecutableFolder);
  if (!folder.empty()) {
    folder = ResolveAgainstExeFolder(folder);
    const std::wstring dll = ClientDllPath(folder);
    if (!FileExists(dll)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    found->folder = folder;
    found->version = ProductVersionOf(dll);
    found->fixedFolder = true;
    return found->version.empty() ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : S_OK;
  }

  const bool reverse =
      ChannelSearchReversed(WebView2EnvironmentValue(L"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE"),
                            WebView2EnvironmentValue(L"WEBVIEW2_CHANNEL_SEARCH_KIND"));
  const auto channels =
      RuntimeChannelsToSearch(reverse, WebView2EnvironmentValue(L"WEBVIEW2_RELEASE_CHANNELS"));
  // Machine-wide install first, then the per-user one, as Microsoft documents its search.
  const struct {
    HKEY root;
    REGSAM extra;
  } hives[] = {{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}, {HKEY_CURRENT_USER, 0}};
  for (const RuntimeChannel& channel : channels) {
    for (const auto& hive : hives) {
      const std::wstring install = ReadInstallFolder(hive.root, hive.extra, channel);
      if (install.empty()) continue;
      const std::wstring version = VersionFromInstallFolder(install);
      if (!IsSupportedRuntimeVersion(version) || !FileExists(ClientDllPath(install))) continue;
      found->folder = install;
      found->version = VersionTextFor(channel, version);
      return S_OK;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

extern "C" HRESULT STDAPICALLTYPE
GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder, LPWSTR* versionInfo) {
  if (!versionInfo) return E_POINTER;
  *versionInfo = nullptr;
  FoundRuntime runtime;
  const HRESULT hr = FindWebView2Runtime(browserExecutableFolder, &runtime);
  if (FAILED(hr)) return hr;
  const std::size_t bytes = (runtime.version.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  // The terminating zero is part of the copy: callers read it as a C string.
  std::memcpy(copy, runtime.version.c_str(), bytes);
  *versionInfo = copy;
  return S_OK;
}
