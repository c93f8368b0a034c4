#include "testing/webview2-runtime/runtime_update_win.h"

#include <thread>

#include "host/win_handles.h"
#include "testing/webview2-runtime/runtime_core_win.h"
#include "testing/webview2-runtime/runtime_version.h"
#include "testing/webview2-runtime/text_win.h"

namespace {

// How often the update file is looked at; an update is seen within this.
constexpr DWORD kUpdatePollMs = 200;

std::wstring ReadTrimmed(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  char buffer[128];
  DWORD read = 0;
  if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return {};
  std::string text(buffer, read);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') ++start;
  return Widen(text.substr(start));
}

std::wstring VersionFilePath(const std::wstring& userDataFolder) {
  return userDataFolder + L"\\QvBrowserVersion.txt";
}

}  // namespace

std::wstring InstalledRuntimeVersion() {
  const std::wstring file = EnvironmentValue(L"QV_WEBVIEW2_UPDATE_FILE");
  const std::wstring updated = file.empty() ? std::wstring() : ReadTrimmed(file);
  return updated.empty() ? std::wstring(QV_RUNTIME_VERSION_WTEXT) : updated;
}

void WatchForRuntimeUpdate(const std::shared_ptr<RuntimeCore>& core) {
  if (EnvironmentValue(L"QV_WEBVIEW2_UPDATE_FILE").empty()) return;
  std::weak_ptr<RuntimeCore> weak = core;
  std::thread([weak, announced = core->version()]() mutable {
    for (;;) {
      ::Sleep(kUpdatePollMs);
      const std::wstring installed = InstalledRuntimeVersion();
      if (installed == announced) {
        if (weak.expired()) return;
        continue;
      }
      auto core = weak.lock();
      if (!core) return;
      announced = installed;
      core->Post([core, installed] { core->NewVersionInstalled(installed); });
    }
  }).detach();
}

std::wstring RunningBrowserVersion(const std::wstring& userDataFolder) {
  return ReadTrimmed(VersionFilePath(userDataFolder));
}

void RecordRunningBrowserVersion(const std::wstring& userDataFolder, const std::wstring& version) {
  UniqueFile file(::CreateFileW(VersionFilePath(userDataFolder).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string text = Narrow(version);
  DWORD written = 0;
  if (!file ||
      !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    ::OutputDebugStringA("Quorvale WebView2 runtime: browser version not recorded");
  }
}
