// The host's DevTools protocol events: one receiver per event name, handlers on the window
// thread, the params object as JSON.
#include <windows.h>

#include <new>
#include <vector>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

class DevToolsEventArgs final
    : public ComObject<DevToolsEventArgs, ICoreWebView2DevToolsProtocolEventReceivedEventArgs,
                       ICoreWebView2DevToolsProtocolEventReceivedEventArgs> {
 public:
  explicit DevToolsEventArgs(std::wstring json) : json_(std::move(json)) {}
  HRESULT STDMETHODCALLTYPE get_ParameterObjectAsJson(LPWSTR* json) noexcept override {
    return CoTaskMemCopy(json_, json);
  }

 private:
  friend ComObject;
  ~DevToolsEventArgs() = default;
  std::wstring json_;
};

class DevToolsEventReceiver final
    : public ComObject<DevToolsEventReceiver, ICoreWebView2DevToolsProtocolEventReceiver,
                       ICoreWebView2DevToolsProtocolEventReceiver> {
 public:
  DevToolsEventReceiver(std::shared_ptr<ViewState> view, std::string name)
      : view_(std::move(view)), name_(std::move(name)) {}

  HRESULT STDMETHODCALLTYPE
  add_DevToolsProtocolEventReceived(ICoreWebView2DevToolsProtocolEventReceivedEventHandler* handler,
                                    EventRegistrationToken* token) noexcept override {
    RecordCall("add_DevToolsProtocolEventReceived " + CallArg(name_));
    if (!handler || !token) return E_POINTER;
    if (view_->closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    token->value = view_->nextToken++;
    view_->devToolsHandlers[name_][token->value] =
        ComPtr<ICoreWebView2DevToolsProtocolEventReceivedEventHandler>::FromRaw(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  remove_DevToolsProtocolEventReceived(EventRegistrationToken token) noexcept override {
    RecordCall("remove_DevToolsProtocolEventReceived " + CallArg(name_) + " " +
               std::to_string(token.value));
    auto found = view_->devToolsHandlers.find(name_);
    if (found != view_->devToolsHandlers.end()) found->second.erase(token.value);
    return S_OK;
  }

 private:
  friend ComObject;
  ~DevToolsEventReceiver() = default;
  std::shared_ptr<ViewState> view_;
  std::string name_;
};

}  // namespace

ComPtr<ICoreWebView2DevToolsProtocolEventReceiver> MakeDevToolsEventReceiver(
    const std::shared_ptr<ViewState>& view, std::string eventName) {
  return ComPtr<ICoreWebView2DevToolsProtocolEventReceiver>::Attach(
      new (std::nothrow) DevToolsEventReceiver(view, std::move(eventName)));
}

void DeliverDevToolsEvent(const std::shared_ptr<ViewState>& view, const CdpIncoming& event) {
  auto subscribed = view->devToolsHandlers.find(event.method);
  if (subscribed == view->devToolsHandlers.end() || subscribed->second.empty() || !view->webview) {
    return;
  }
  auto args = ComPtr<ICoreWebView2DevToolsProtocolEventReceivedEventArgs>::Attach(
      new (std::nothrow)
          DevToolsEventArgs(Widen(event.params.IsObject() ? WriteJson(event.params) : "{}")));
  if (!args) return;
  // A handler may remove itself (or others) while the event is delivered.
  std::vector<ComPtr<ICoreWebView2DevToolsProtocolEventReceivedEventHandler>> handlers;
  for (const auto& [token, handler] : subscribed->second) handlers.push_back(handler);
  ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::FromRaw(view->webview);
  for (const auto& handler : handlers) {
    if (view->closed) break;
    (void)handler->Invoke(sender.get(), args.get());
  }
}
