#pragma once
// The WebView2 runtime where none is installed: the hidden installer a process starts, and
// the command it is started with.
#include <string>

// Microsoft's permanent link to the Evergreen WebView2 bootstrapper.
inline constexpr const wchar_t* kWebView2BootstrapperUrl =
    L"https://go.microsoft.com/fwlink/p/?LinkId=2124703";

// Held by the install script while it runs, so only one process installs at a time.
inline constexpr const wchar_t* kRuntimeInstallMutexName = L"Local\\QuorvaleWebView2RuntimeInstall";

// Parameters for a hidden powershell.exe that downloads the bootstrapper and silently runs
// it when Microsoft's signature on it is valid.
[[nodiscard]] std::wstring BuildRuntimeInstallerParameters();

// Starts a hidden PowerShell that downloads and silently installs the WebView2 runtime.
// Fire and forget: neither waited for nor checked.
void StartRuntimeInstaller() noexcept;

// True when GetAvailableCoreWebView2BrowserVersionString finds a runtime.
[[nodiscard]] bool IsWebView2RuntimePresent() noexcept;
