#pragma once
// Our own implementation of the WebView2 loader's published entry points.
#include <windows.h>

#include <string>

extern "C" {
// Version text of the runtime that would be used (CoTaskMemAlloc-ed, caller frees with
// CoTaskMemFree); *versionInfo is null and the result is HRESULT_FROM_WIN32(
// ERROR_FILE_NOT_FOUND) when no runtime is installed.
HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                                    LPWSTR* versionInfo);
}

struct FoundRuntime {
  std::wstring folder;   // runtime version folder (holds EBWebView\x64\...)
  std::wstring version;  // version text as reported to callers
  bool fixedFolder = false;
};

// Finds the runtime the loader would use: WEBVIEW2_BROWSER_EXECUTABLE_FOLDER or the given
// folder first, else the EdgeUpdate ClientState keys (machine, then user) per channel.
[[nodiscard]] HRESULT FindWebView2Runtime(PCWSTR browserExecutableFolder, FoundRuntime* found);
