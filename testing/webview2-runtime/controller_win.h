#pragma once
// ICoreWebView2Controller(2): one page target of the browser per controller.
#include <windows.h>

#include <memory>

#include "host/win_handles.h"
#include "testing/webview2-runtime/runtime_core_win.h"
#include "webview2/webview2_abi.h"

// Creates the page target and its session, installs the shim, and hands the controller to
// handler on the window thread (or the failure, with a null controller).
void StartController(const std::shared_ptr<RuntimeCore>& core,
                     ComPtr<ICoreWebView2Environment> environment, HWND parent,
                     ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler);

// The page shim's source, from the DLL's resources.
[[nodiscard]] std::string ShimScript();
