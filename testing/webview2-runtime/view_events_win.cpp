// Page events of a view's session and the viewport it shows.
#include <windows.h>

#include <optional>

#include "testing/webview2-runtime/host_mapping.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

void DeliverWebMessage(const std::shared_ptr<ViewState>& view, const JsonValue& params) {
  if (params.StringAt("name") != kBindingName) return;
  if (!view->settings.values[kWebMessageEnabled] || !view->webview) return;
  // WebView2 raises this event for posts of the top-level document only (a frame's post goes
  // to that frame's own event, which the host never subscribes), and the source is the
  // posting document's URL, never text the page sends.
  std::optional<std::string> source =
      view->frames.TopLevelSource(params.IntegerAt("executionContextId", -1));
  if (!source) return;
  auto args = MakeWebMessageArgs(std::move(*source), params.StringAt("payload"));
  if (!args) return;
  // A handler may remove itself (or others) while the event is delivered.
  std::vector<ComPtr<ICoreWebView2WebMessageReceivedEventHandler>> handlers;
  for (const auto& [token, handler] : view->messageHandlers) handlers.push_back(handler);
  ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::FromRaw(view->webview);
  for (const auto& handler : handlers) {
    if (view->closed) break;
    (void)handler->Invoke(sender.get(), args.get());
  }
}

}  // namespace

void HandleViewEvent(const std::shared_ptr<ViewState>& view, const CdpIncoming& event) {
  if (!view->hostSessionId.empty() && event.sessionId == view->hostSessionId) {
    DeliverDevToolsEvent(view, event);
    return;
  }
  if (event.method == "Fetch.requestPaused") {
    ServePausedRequest(view, event.params);
  } else if (event.method == "Runtime.bindingCalled") {
    DeliverWebMessage(view, event.params);
  } else if (event.method == "Page.frameNavigated") {
    const JsonValue* frame = event.params.Find("frame");
    if (!frame) return;
    view->frames.FrameNavigated(frame->StringAt("id"), frame->StringAt("parentId"),
                                frame->StringAt("url") + frame->StringAt("urlFragment"));
    if (!frame->Find("parentId")) view->source = view->frames.topUrl();
  } else if (event.method == "Runtime.executionContextCreated") {
    const JsonValue* context = event.params.Find("context");
    const JsonValue* aux = context ? context->Find("auxData") : nullptr;
    const JsonValue* isDefault = aux ? aux->Find("isDefault") : nullptr;
    if (!context || !aux) return;
    view->frames.ContextCreated(
        context->IntegerAt("id", -1), aux->StringAt("frameId"),
        isDefault && isDefault->type == JsonValue::Type::Bool && isDefault->boolean);
  } else if (event.method == "Runtime.executionContextDestroyed") {
    view->frames.ContextDestroyed(event.params.IntegerAt("executionContextId", -1));
  } else if (event.method == "Runtime.executionContextsCleared") {
    view->frames.ContextsCleared();
  } else if (event.method == "Inspector.targetCrashed") {
    view->frames.ContextsCleared();
    RaiseProcessFailed(view, COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED);
  }
}

void SendFetchPatterns(const std::shared_ptr<ViewState>& view, RuntimeCore::Done done) {
  if (view->mappings.empty() && view->resourceFilters.empty()) {
    view->core->Call("Fetch.disable", "", view->sessionId, std::move(done));
    return;
  }
  // Paused before any DNS lookup, so the virtual host needs no resolvable name or
  // certificate.
  std::string patterns;
  for (const FolderMapping& m : view->mappings) {
    for (const char* scheme : {"https://", "http://"}) {
      if (!patterns.empty()) patterns.push_back(',');
      patterns +=
          "{\"urlPattern\":" + JsonQuote(scheme + m.host + "/*") + ",\"requestStage\":\"Request\"}";
    }
  }
  for (const ResourceFilter& f : view->resourceFilters) {
    if (!patterns.empty()) patterns.push_back(',');
    patterns +=
        "{\"urlPattern\":" + JsonQuote(FetchPatternOf(f.uri)) + ",\"requestStage\":\"Request\"}";
  }
  view->core->Call("Fetch.enable", "{\"patterns\":[" + patterns + "]}", view->sessionId,
                   std::move(done));
}

void ApplyBounds(const std::shared_ptr<ViewState>& view) {
  if (view->closed) return;
  const RECT& b = view->bounds;
  const long width = b.right - b.left;
  const long height = b.bottom - b.top;
  if (width <= 0 || height <= 0) return;  // zero would drop the override, not hide the page
  // Headful too: the window's bounds include the browser's own tab strip and toolbar, so
  // only the override gives the page exactly the controller's size.
  view->core->Call("Emulation.setDeviceMetricsOverride",
                   "{\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
                       ",\"deviceScaleFactor\":1,\"mobile\":false}",
                   view->sessionId, nullptr);
  if (!view->core->headful() || !view->windowId) return;
  POINT origin{b.left, b.top};
  if (view->parent) ::ClientToScreen(view->parent, &origin);
  view->core->Call("Browser.setWindowBounds",
                   "{\"windowId\":" + std::to_string(view->windowId) + ",\"bounds\":{\"left\":" +
                       std::to_string(origin.x) + ",\"top\":" + std::to_string(origin.y) +
                       ",\"width\":" + std::to_string(width) +
                       ",\"height\":" + std::to_string(height) + "}}",
                   "", nullptr);
}
