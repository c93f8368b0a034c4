#include <windows.h>

#include <shellapi.h>

#include "app/installer_command.h"
#include "app/runtime_installer.h"
#include "host/win_handles.h"
#include "webview2/webview2_loader.h"

void StartRuntimeInstaller() noexcept {
  try {
    const std::wstring parameters = BuildRuntimeInstallerParameters();
    (void)::ShellExecuteW(nullptr, L"open", L"powershell.exe", parameters.c_str(), nullptr,
                          SW_HIDE);
  } catch (...) {
  }
}

bool IsWebView2RuntimePresent() noexcept {
  LPWSTR version = nullptr;
  const HRESULT hr = GetAvailableCoreWebView2BrowserVersionString(nullptr, &version);
  UniqueCoTaskMem owned(version);
  return SUCCEEDED(hr) && version != nullptr && version[0] != L'\0';
}
