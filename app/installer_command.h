#pragma once
#include <string>

// Microsoft's permanent link to the Evergreen WebView2 bootstrapper.
inline constexpr const wchar_t* kWebView2BootstrapperUrl =
    L"https://go.microsoft.com/fwlink/p/?LinkId=2124703";

// Parameters for a hidden powershell.exe that downloads and silently runs the bootstrapper.
[[nodiscard]] std::wstring BuildRuntimeInstallerParameters();
