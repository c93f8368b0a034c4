#pragma once
// Our own implementation of the WebView2 loader's published entry points, linked statically.
#include <windows.h>

#include <string>

#include "webview2/webview2_abi.h"

extern "C" {
// Version text of the runtime that would be used (CoTaskMemAlloc-ed, caller frees with
// CoTaskMemFree); *versionInfo is null and the result is HRESULT_FROM_WIN32(
// ERROR_FILE_NOT_FOUND) when no runtime is installed.
HRESULT STDAPICALLTYPE GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                                    LPWSTR* versionInfo);

// Starts creating an environment on the runtime the version lookup finds; the result
// arrives in environmentCreatedHandler. A failure returned here means the handler is never
// called: E_POINTER without a handler, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) without a
// runtime, the Win32 error of loading its DLL, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)
// when the DLL lacks the entry point; otherwise whatever the runtime's entry point returns.
HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

// The same with an installed runtime, the default user-data folder and no options.
HRESULT STDAPICALLTYPE CreateCoreWebView2Environment(
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);
}

struct FoundRuntime {
  std::wstring folder;   // runtime version folder (holds EBWebView\<arch>\...)
  std::wstring version;  // version text as reported to callers
  bool fixedFolder = false;
};

// Finds the runtime the loader would use: WEBVIEW2_BROWSER_EXECUTABLE_FOLDER or the given
// folder first, else the EdgeUpdate ClientState keys (machine, then user) per channel.
[[nodiscard]] HRESULT FindWebView2Runtime(PCWSTR browserExecutableFolder, FoundRuntime* found);

// A process environment variable, empty when unset.
[[nodiscard]] std::wstring WebView2EnvironmentValue(const wchar_t* name);
