#include <windows.h>

#include "webview2/runtime_search.h"
#include "webview2/webview2_loader.h"

namespace {

using ClientEntryPoint = HRESULT(STDMETHODCALLTYPE*)(
    BOOL, int runtimeType, PCWSTR userDataFolder, IUnknown* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

}  // namespace

// WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS is deliberately left alone: Microsoft's loader does
// not read it either, the runtime itself appends it to the options' arguments. Merging it
// here as well would pass every argument twice.
extern "C" HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  if (!environmentCreatedHandler) return E_POINTER;
  FoundRuntime runtime;
  const HRESULT found = FindWebView2Runtime(browserExecutableFolder, &runtime);
  if (FAILED(found)) return found;

  const EnvironmentRequest request = MakeEnvironmentRequest(
      runtime.folder, runtime.fixedFolder, WebView2EnvironmentValue(L"WEBVIEW2_USER_DATA_FOLDER"),
      userDataFolder, BuildArch());
  // The altered search path lets the DLL's own dependencies resolve from its folder. The
  // module is never freed: the runtime keeps threads and objects of it alive for as long as
  // any environment exists, which is the rest of the process here.
  const HMODULE client =
      ::LoadLibraryExW(request.clientDll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!client) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
  }
  // FARPROC to the real signature by way of void(*)(), the cast GCC accepts without
  // -Wcast-function-type; the signature itself is the runtime's published one.
  const auto entry = reinterpret_cast<ClientEntryPoint>(
      reinterpret_cast<void (*)()>(::GetProcAddress(client, kClientEntryPointName)));
  if (!entry) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

  // The browser folder is not passed on: it only chose which DLL is loaded.
  return entry(TRUE, static_cast<int>(request.runtimeType),
               request.userDataFolder.empty() ? nullptr : request.userDataFolder.c_str(),
               environmentOptions, environmentCreatedHandler);
}

extern "C" HRESULT STDAPICALLTYPE CreateCoreWebView2Environment(
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  return CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr,
                                                  environmentCreatedHandler);
}
