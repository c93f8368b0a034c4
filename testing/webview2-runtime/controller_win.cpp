#include "testing/webview2-runtime/controller_win.h"

#include <new>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

constexpr HRESULT kClosedError = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
// Every method answers E_NOTIMPL unless the controller below implements it.
struct ControllerBase : public ICoreWebView2Controller2 {
  QV_ICoreWebView2Controller_METHODS(QV_COM_NOT_IMPLEMENTED)
      QV_ICoreWebView2Controller2_METHODS(QV_COM_NOT_IMPLEMENTED)
};
#pragma GCC diagnostic pop

// The controller's property reads: recorded like every call, and readable after Close.
template <typename T>
HRESULT ReadProperty(const char* call, T* out, const T& value) {
  RecordCall(call);
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

class Controller final : public ComObject<Controller, ControllerBase, ICoreWebView2Controller,
                                          ICoreWebView2Controller2> {
 public:
  Controller(std::shared_ptr<ViewState> view, ComPtr<ICoreWebView2> webview)
      : view_(std::move(view)), webview_(std::move(webview)) {}

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) noexcept override {
    return ReadProperty("get_IsVisible", isVisible, view_->visible);
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) noexcept override {
    RecordCall(std::string("put_IsVisible ") + (isVisible ? "1" : "0"));
    if (view_->closed) return kClosedError;
    view_->visible = isVisible ? TRUE : FALSE;
    if (isVisible) RunParkedCaptures(view_);
    // Headless pages cannot be shown or hidden; the state is kept for get_IsVisible. A
    // headful window is minimised and restored.
    if (view_->core->headful() && view_->windowId) {
      RuntimeCore::Done restored;
      if (isVisible) restored = [view = view_](const CdpIncoming&) { ApplyBounds(view); };
      view_->core->Call("Browser.setWindowBounds",
                        "{\"windowId\":" + std::to_string(view_->windowId) +
                            ",\"bounds\":{\"windowState\":\"" +
                            (isVisible ? "normal" : "minimized") + "\"}}",
                        "", std::move(restored));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) noexcept override {
    return ReadProperty("get_Bounds", bounds, view_->bounds);
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) noexcept override {
    RecordCall("put_Bounds " + std::to_string(bounds.left) + " " + std::to_string(bounds.top) +
               " " + std::to_string(bounds.right) + " " + std::to_string(bounds.bottom));
    if (view_->closed) return kClosedError;
    view_->bounds = bounds;
    ApplyBounds(view_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) noexcept override {
    return ReadProperty("get_ParentWindow", parentWindow, view_->parent);
  }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) noexcept override {
    RecordCall("put_ParentWindow " + std::to_string(reinterpret_cast<UINT_PTR>(parentWindow)));
    if (view_->closed) return kClosedError;
    view_->parent = parentWindow;
    ApplyBounds(view_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() noexcept override {
    RecordCall("NotifyParentWindowPositionChanged");
    if (view_->closed) return kClosedError;
    if (view_->core->headful()) ApplyBounds(view_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() noexcept override {
    RecordCall("Close");
    if (view_->closed) return S_OK;
    view_->closed = true;
    view_->messageHandlers.clear();
    view_->resourceHandlers.clear();
    view_->failedHandlers.clear();
    // Parked captures are dropped unrun: their handlers are never called, their streams
    // (and the files under them) are let go.
    view_->parkedCaptures.clear();
    view_->devToolsHandlers.clear();
    view_->core->RemoveSession(view_->sessionId);
    view_->core->RemoveSession(view_->hostSessionId);
    // Straight on the link, with the follow-up on the reader thread: a host that closes
    // and then ends its message loop still gets its page, and maybe the browser, closed.
    DevToolsLink* link = view_->core->link();
    if (!link) return S_OK;
    std::weak_ptr<DevToolsLink> weakLink = link->weak_from_this();
    const std::string targetId = view_->targetId;
    link->Send("Target.closeTarget", "{\"targetId\":" + JsonQuote(targetId) + "}", "",
               [weakLink, targetId](std::shared_ptr<CdpIncoming>) {
                 auto link = weakLink.lock();
                 if (!link) return;
                 link->Send("Target.getTargets", "", "",
                            [weakLink, targetId](std::shared_ptr<CdpIncoming> targets) {
                              auto link = weakLink.lock();
                              if (!link || targets->failed) return;
                              if (CountOtherPages(targets->result, targetId) == 0) {
                                link->Send("Browser.close", "", "", nullptr);
                              }
                            });
               });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) noexcept override {
    RecordCall("get_CoreWebView2");
    if (!coreWebView2) return E_POINTER;
    *coreWebView2 = nullptr;
    if (view_->closed) return kClosedError;
    *coreWebView2 = webview_.get();
    webview_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  get_DefaultBackgroundColor(COREWEBVIEW2_COLOR* value) noexcept override {
    return ReadProperty("get_DefaultBackgroundColor", value, view_->background);
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR value) noexcept override {
    RecordCall("put_DefaultBackgroundColor " + std::to_string(value.A) + " " +
               std::to_string(value.R) + " " + std::to_string(value.G) + " " +
               std::to_string(value.B));
    if (view_->closed) return kClosedError;
    // WebView2 accepts only opaque or fully transparent backgrounds.
    if (value.A != 0 && value.A != 255) return E_INVALIDARG;
    view_->background = value;
    view_->core->Call(
        "Emulation.setDefaultBackgroundColorOverride",
        "{\"color\":{\"r\":" + std::to_string(value.R) + ",\"g\":" + std::to_string(value.G) +
            ",\"b\":" + std::to_string(value.B) + ",\"a\":" + (value.A ? "1" : "0") + "}}",
        view_->sessionId, nullptr);
    return S_OK;
  }

 private:
  friend ComObject;
  ~Controller() = default;
  std::shared_ptr<ViewState> view_;
  ComPtr<ICoreWebView2> webview_;
};

using ControllerHandler = ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>;

HRESULT ReplyError(const CdpIncoming& reply) {
  return reply.failed ? E_FAIL : S_OK;
}

void Fail(const std::shared_ptr<ViewState>& view, const ControllerHandler& handler, HRESULT hr) {
  view->closed = true;
  if (!view->sessionId.empty()) view->core->RemoveSession(view->sessionId);
  if (!view->hostSessionId.empty()) view->core->RemoveSession(view->hostSessionId);
  if (!view->targetId.empty()) {
    view->core->Call("Target.closeTarget", "{\"targetId\":" + JsonQuote(view->targetId) + "}", "",
                     nullptr);
  }
  (void)handler->Invoke(hr, nullptr);
}

void Finish(const std::shared_ptr<ViewState>& view, const ControllerHandler& handler) {
  if (view->core->TakeStartPageCleanup()) {
    view->core->Call("Target.getTargets", "", "",
                     [core = view->core, own = view->targetId](const CdpIncoming& targets) {
                       const JsonValue* infos = targets.result.Find("targetInfos");
                       if (!infos) return;
                       for (const JsonValue& info : infos->items) {
                         const JsonValue* attached = info.Find("attached");
                         if (info.StringAt("type") != "page" || info.StringAt("targetId") == own ||
                             (attached && attached->boolean)) {
                           continue;
                         }
                         core->Call("Target.closeTarget",
                                    "{\"targetId\":" + JsonQuote(info.StringAt("targetId")) + "}",
                                    "", nullptr);
                       }
                     });
  }
  ApplyBounds(view);
  ComPtr<ICoreWebView2> webview = MakeWebView(view);
  ComPtr<ICoreWebView2Controller> controller;
  if (webview) {
    controller = ComPtr<ICoreWebView2Controller>::Attach(new (std::nothrow)
                                                             Controller(view, std::move(webview)));
  }
  if (!controller) {
    Fail(view, handler, E_OUTOFMEMORY);
    return;
  }
  (void)handler->Invoke(S_OK, controller.get());
}

// Session set-up: every command goes out at once (the session runs them in order) and the
// controller is handed over after the last reply, failing if any of them failed.
void SetUpSession(const std::shared_ptr<ViewState>& view, const ControllerHandler& handler) {
  RuntimeCore& core = *view->core;
  struct Batch {
    int left = 0;
    HRESULT hr = S_OK;
  };
  auto batch = std::make_shared<Batch>();
  auto step = [view, handler, batch](const CdpIncoming& reply) {
    if (FAILED(ReplyError(reply)) && SUCCEEDED(batch->hr)) batch->hr = ReplyError(reply);
    if (--batch->left > 0) return;
    if (FAILED(batch->hr)) {
      Fail(view, handler, batch->hr);
    } else {
      Finish(view, handler);
    }
  };
  const std::string& s = view->sessionId;
  std::vector<std::pair<std::string, std::string>> commands = {
      {"Page.enable", ""},
      {"Runtime.enable", ""},
      // Raises Inspector.targetCrashed when the page's renderer ends.
      {"Inspector.enable", ""},
      {"Runtime.addBinding", std::string("{\"name\":") + JsonQuote(kBindingName) + "}"},
      {"Page.addScriptToEvaluateOnNewDocument", "{\"source\":" + JsonQuote(ShimScript()) + "}"},
  };
  if (!view->core->headful()) {
    // Without a window there is nothing to focus; keep timers and rendering running as in a
    // visible WebView.
    commands.push_back({"Emulation.setFocusEmulationEnabled", "{\"enabled\":true}"});
  }
  batch->left = static_cast<int>(commands.size()) + (view->mappings.empty() ? 0 : 1);
  for (const auto& [method, params] : commands) core.Call(method, params, s, step);
  if (!view->mappings.empty()) SendFetchPatterns(view, step);
}

// The host's own session on the page, then the window (headful) and the runtime's session
// set-up; the controller is handed over only once both sessions exist.
void AttachHostSession(const std::shared_ptr<ViewState>& view, const ControllerHandler& handler) {
  view->core->Call("Target.attachToTarget",
                   "{\"targetId\":" + JsonQuote(view->targetId) + ",\"flatten\":true}", "",
                   [view, handler](const CdpIncoming& attached) {
                     view->hostSessionId = attached.result.StringAt("sessionId");
                     if (attached.failed || view->hostSessionId.empty()) {
                       Fail(view, handler, E_FAIL);
                       return;
                     }
                     view->core->AddSession(view->hostSessionId, view);
                     if (!view->core->headful()) {
                       SetUpSession(view, handler);
                       return;
                     }
                     view->core->Call("Browser.getWindowForTarget",
                                      "{\"targetId\":" + JsonQuote(view->targetId) + "}", "",
                                      [view, handler](const CdpIncoming& window) {
                                        view->windowId = window.result.IntegerAt("windowId", 0);
                                        SetUpSession(view, handler);
                                      });
                   });
}

}  // namespace

std::string ShimScript() {
  HMODULE self = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ShimScript), &self);
  HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(self, found);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return {};
  return std::string(static_cast<const char*>(data), ::SizeofResource(self, found));
}

void StartController(const std::shared_ptr<RuntimeCore>& core,
                     ComPtr<ICoreWebView2Environment> environment, HWND parent,
                     ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler) {
  auto view = std::make_shared<ViewState>();
  view->core = core;
  view->environment = std::move(environment);
  view->parent = parent;
  ::GetClientRect(parent, &view->bounds);
  view->mappings = core->extraHosts();

  // A window of its own per page, headless too: a page that shares a window with a newer
  // one is a background tab, which stops rendering, and its screenshots never complete.
  const std::string params = "{\"url\":\"about:blank\",\"newWindow\":true}";
  core->Call("Target.createTarget", params, "", [view, handler](const CdpIncoming& created) {
    view->targetId = created.result.StringAt("targetId");
    if (created.failed || view->targetId.empty()) {
      (void)handler->Invoke(E_FAIL, nullptr);
      return;
    }
    view->core->Call("Target.attachToTarget",
                     "{\"targetId\":" + JsonQuote(view->targetId) + ",\"flatten\":true}", "",
                     [view, handler](const CdpIncoming& attached) {
                       view->sessionId = attached.result.StringAt("sessionId");
                       if (attached.failed || view->sessionId.empty()) {
                         Fail(view, handler, E_FAIL);
                         return;
                       }
                       view->core->AddSession(view->sessionId, view);
                       AttachHostSession(view, handler);
                     });
  });
}
