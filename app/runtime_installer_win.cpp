#include <windows.h>

#include <shellapi.h>

#include <string>

#include "app/runtime_installer.h"
#include "host/debug_log.h"
#include "host/win_handles.h"
#include "webview2/webview2_loader.h"

void StartRuntimeInstaller() noexcept {
  try {
    // By its absolute path: a powershell.exe in the working folder or early on PATH is not
    // the one meant.
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      LogDebug("WebView2 runtime install not started: no system folder.");
      return;
    }
    const std::wstring powershell =
        std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
    const std::wstring parameters = BuildRuntimeInstallerParameters();
    const HINSTANCE started =
        ::ShellExecuteW(nullptr, L"open", powershell.c_str(), parameters.c_str(), nullptr, SW_HIDE);
    if (reinterpret_cast<INT_PTR>(started) <= 32) {
      LogDebug("WebView2 runtime install could not start: " +
               std::to_string(reinterpret_cast<INT_PTR>(started)));
    }
  } catch (...) {
    LogDebug("WebView2 runtime install exception handled.");
  }
}

bool IsWebView2RuntimePresent() noexcept {
  LPWSTR version = nullptr;
  const HRESULT hr = GetAvailableCoreWebView2BrowserVersionString(nullptr, &version);
  UniqueCoTaskMem owned(version);
  return SUCCEEDED(hr) && version != nullptr && version[0] != L'\0';
}
