#pragma once
// The state one controller and its ICoreWebView2 share, and the page events they handle.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/win_handles.h"
#include "testing/webview2-runtime/frame_tracker.h"
#include "testing/webview2-runtime/runtime_core_win.h"
#include "webview2/webview2_abi.h"

// The shim's binding (see webview_shim.js).
inline constexpr char kBindingName[] = "__qvWebView2Post";

struct ViewSettings {
  BOOL values[9] = {TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE};
};
enum SettingIndex : int {
  kScriptEnabled,
  kWebMessageEnabled,
  kDefaultScriptDialogsEnabled,
  kStatusBarEnabled,
  kDevToolsEnabled,
  kDefaultContextMenusEnabled,
  kHostObjectsAllowed,
  kZoomControlEnabled,
  kBuiltInErrorPageEnabled,
};

// One AddWebResourceRequestedFilter: a URI with '*' wildcards and a resource context.
struct ResourceFilter {
  std::string uri;
  int context = 0;  // COREWEBVIEW2_WEB_RESOURCE_CONTEXT
};

// A CapturePreview asked for while the view could not be painted: WebView2 does not complete
// it then (WebView2Feedback #579), so it waits here until the view is shown again.
struct ParkedCapture {
  std::string format;  // "png" or "jpeg"
  ComPtr<IStream> stream;
  ComPtr<ICoreWebView2CapturePreviewCompletedHandler> done;
};

struct ViewState {
  std::shared_ptr<RuntimeCore> core;
  ComPtr<ICoreWebView2Environment> environment;
  HWND parent = nullptr;
  RECT bounds{};
  BOOL visible = TRUE;
  COREWEBVIEW2_COLOR background{255, 255, 255, 255};
  std::string targetId;
  std::string sessionId;
  // A second session on the same page for the host's own DevTools protocol calls, as
  // WebView2 gives the host one apart from its own: the host sees only the domains it
  // enabled and the bindings it added, never the runtime's.
  std::string hostSessionId;
  long long windowId = 0;  // headful: the browser window of the target
  bool closed = false;
  std::string source = "about:blank";
  FrameTracker frames;
  std::vector<FolderMapping> mappings;
  std::map<INT64, ComPtr<ICoreWebView2WebMessageReceivedEventHandler>> messageHandlers;
  std::vector<ResourceFilter> resourceFilters;
  std::map<INT64, ComPtr<ICoreWebView2WebResourceRequestedEventHandler>> resourceHandlers;
  std::map<INT64, ComPtr<ICoreWebView2ProcessFailedEventHandler>> failedHandlers;
  std::vector<ParkedCapture> parkedCaptures;
  // Host subscriptions by DevTools event name ("Runtime.bindingCalled").
  std::map<std::string,
           std::map<INT64, ComPtr<ICoreWebView2DevToolsProtocolEventReceivedEventHandler>>>
      devToolsHandlers;
  INT64 nextToken = 1;
  ICoreWebView2* webview = nullptr;  // sender of events; cleared when that object goes
  ViewSettings settings;
};

// Page events of the view's session, on the window thread.
void HandleViewEvent(const std::shared_ptr<ViewState>& view, const CdpIncoming& event);

// ProcessFailed to the view's handlers, on the window thread. A browser that exited takes
// the view into the closed state first, as WebView2 does; its handlers are dropped after.
void RaiseProcessFailed(const std::shared_ptr<ViewState>& view,
                        COREWEBVIEW2_PROCESS_FAILED_KIND kind);

// Captures the page into the stream now, or parks the capture while the view cannot be
// painted (hidden, or its parent window not visible).
void CaptureOrPark(const std::shared_ptr<ViewState>& view, ParkedCapture capture);
// Runs the parked captures once the view can be painted again.
void RunParkedCaptures(const std::shared_ptr<ViewState>& view);
// An event of the host's session, on the window thread: raised to the handlers subscribed to
// its name with the event's params as JSON.
void DeliverDevToolsEvent(const std::shared_ptr<ViewState>& view, const CdpIncoming& event);

// Answers a Fetch.requestPaused: a mapped host is served from its folder, anything else
// continues to the network.
void ServePausedRequest(const std::shared_ptr<ViewState>& view, const JsonValue& params);

// Raises WebResourceRequested for a paused request that matches a filter (on the window
// thread, which created the view). True when a handler put a response and the request was
// fulfilled with it; false leaves the request to the mappings or the network.
[[nodiscard]] bool RaiseWebResourceRequested(const std::shared_ptr<ViewState>& view,
                                             const JsonValue& params);

// The environment's CreateWebResourceResponse: headers are "Name: value" lines split by CR LF.
[[nodiscard]] HRESULT MakeWebResourceResponse(IStream* content, int statusCode,
                                              LPCWSTR reasonPhrase, LPCWSTR headers,
                                              ICoreWebView2WebResourceResponse** response);

// Fetch.enable with one pattern per mapped host and filter (and none at all without either).
void SendFetchPatterns(const std::shared_ptr<ViewState>& view, RuntimeCore::Done done);

// Viewport (headless) or window (headful) to the controller's bounds.
void ApplyBounds(const std::shared_ptr<ViewState>& view);

// The view's ICoreWebView2, created once with the controller.
[[nodiscard]] ComPtr<ICoreWebView2> MakeWebView(const std::shared_ptr<ViewState>& view);
[[nodiscard]] ComPtr<ICoreWebView2Settings> MakeSettings(const std::shared_ptr<ViewState>& view);
[[nodiscard]] ComPtr<ICoreWebView2DevToolsProtocolEventReceiver> MakeDevToolsEventReceiver(
    const std::shared_ptr<ViewState>& view, std::string eventName);
[[nodiscard]] ComPtr<ICoreWebView2WebMessageReceivedEventArgs> MakeWebMessageArgs(
    std::string source, std::string json);
