// ProcessFailed: the browser's DevTools link dropping (Chromium ended, crashed or was
// killed) is the browser process exiting; Inspector.targetCrashed on a page session is its
// main frame's renderer exiting.
#include <windows.h>

#include <new>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

class ProcessFailedArgs final
    : public ComObject<ProcessFailedArgs, ICoreWebView2ProcessFailedEventArgs,
                       ICoreWebView2ProcessFailedEventArgs> {
 public:
  explicit ProcessFailedArgs(COREWEBVIEW2_PROCESS_FAILED_KIND kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE
  get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) noexcept override {
    if (!kind) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }

 private:
  friend ComObject;
  ~ProcessFailedArgs() = default;
  COREWEBVIEW2_PROCESS_FAILED_KIND kind_;
};

}  // namespace

void RaiseProcessFailed(const std::shared_ptr<ViewState>& view,
                        COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  if (view->closed) return;
  RecordCall("ProcessFailed " + std::to_string(static_cast<int>(kind)));
  const bool browser = kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
  // Microsoft: "The WebView automatically moves to the Closed state. The app has to recreate
  // a new WebView to recover from this failure." Its captures die with the browser.
  if (browser) {
    view->closed = true;
    view->parkedCaptures.clear();
  }
  auto args = ComPtr<ICoreWebView2ProcessFailedEventArgs>::Attach(new (std::nothrow)
                                                                      ProcessFailedArgs(kind));
  // A handler may remove itself (or others) while the event is delivered.
  std::vector<ComPtr<ICoreWebView2ProcessFailedEventHandler>> handlers;
  for (const auto& [token, handler] : view->failedHandlers) handlers.push_back(handler);
  ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::FromRaw(view->webview);
  if (args) {
    for (const auto& handler : handlers) (void)handler->Invoke(sender.get(), args.get());
  }
  if (browser) {
    view->messageHandlers.clear();
    view->resourceHandlers.clear();
    view->failedHandlers.clear();
  }
}
