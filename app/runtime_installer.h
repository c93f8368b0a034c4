#pragma once

// Starts a hidden PowerShell that downloads and silently installs the WebView2 runtime.
// Fire and forget: neither waited for nor checked.
void StartRuntimeInstaller() noexcept;

// True when GetAvailableCoreWebView2BrowserVersionString finds a runtime.
[[nodiscard]] bool IsWebView2RuntimePresent() noexcept;
