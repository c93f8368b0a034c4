#include <windows.h>

#include <shlwapi.h>

#include <string>
#include <utility>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/chart_picture.h"
#include "overlay/child_window.h"
#include "overlay/data_host.h"
#include "overlay/hud_channel_win.h"
#include "overlay/navigation_request.h"
#include "overlay/page_scripts.h"
#include "overlay/web_message.h"
#include "overlay/webview_host.h"
#include "overlay/webview_recovery_win.h"
#include "services/host_symbol.h"
#include "webview2/com_callback.h"
#include "webview2/webview2_abi.h"
#include "webview2/webview2_loader.h"

namespace {

struct WebViewState {
  HWND window = nullptr;
  ComPtr<ICoreWebView2Environment> environment;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2> webview;
  EventRegistrationToken messageToken{};
  bool messageSubscribed = false;
  NavigationFollowUp followUp;
};
WebViewState g_view;

std::string SignedDecimal(HRESULT hr) {
  return std::to_string(static_cast<long>(hr));
}

RECT ClientRect(HWND window) {
  RECT rect{};
  ::GetClientRect(window, &rect);
  return rect;
}

void SetBackgroundColour() {
  ComPtr<ICoreWebView2Controller2> controller2;
  if (FAILED(g_view.controller.As(IID_ICoreWebView2Controller2, &controller2)) || !controller2) {
    return;
  }
  const Rgb rgb = BackgroundForTheme(g_launch.theme);
  COREWEBVIEW2_COLOR colour{};
  colour.A = 255;
  colour.R = rgb.r;
  colour.G = rgb.g;
  colour.B = rgb.b;
  (void)controller2->put_DefaultBackgroundColor(colour);
}

// The HUD no longer posts web messages: its channel is the binding of its own world
// (overlay/hud_channel_win.h). Whatever still posts one is a page script, so the event only says
// so, once, and is otherwise dropped.
void SubscribeWebMessages() {
  auto handler = MakeComCallback<ICoreWebView2WebMessageReceivedEventHandler>(
      IID_ICoreWebView2WebMessageReceivedEventHandler,
      [](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*) -> HRESULT {
        static bool told = false;
        if (!told) {
          told = true;
          LogDebug("Dropped a web message: the page's posts are not the HUD's channel.");
        }
        return S_OK;
      });
  if (handler &&
      SUCCEEDED(g_view.webview->add_WebMessageReceived(handler.get(), &g_view.messageToken))) {
    g_view.messageSubscribed = true;
  }
}

void NavigateToFirstPage() {
  if (IsStudioMode(g_launch.mode)) {
    // Served from memory by the data host handler; nothing is written into the shared
    // bridge folder, so no other program can put a page there that runs as ours.
    const std::string url = VirtualDataUrl("headless.html");
    LogDebug("Navigating Headless Agent to: " + url);
    NavigateWebView(Utf8ToWide(url));
    return;
  }
  const std::string url = BuildChartPageUrl(
      WideToUtf8(CurrentHostSymbol()), WideToUtf8(g_launch.interval), WideToUtf8(g_launch.theme));
  LogDebug("Navigating to: " + url);
  NavigateWebView(Utf8ToWide(url));
}

void SetUpController(ICoreWebView2Controller* controller) {
  g_view.controller = ComPtr<ICoreWebView2Controller>::FromRaw(controller);
  g_view.webview.reset();
  if (FAILED(g_view.controller->get_CoreWebView2(g_view.webview.put())) || !g_view.webview) {
    LogDebug("CreateCoreWebView2Controller failed res = " + SignedDecimal(E_NOINTERFACE));
    OnWebViewCreationFailed("get_CoreWebView2", E_NOINTERFACE);
    return;
  }
  (void)g_view.controller->put_Bounds(ClientRect(g_view.window));
  (void)g_view.controller->put_IsVisible(TRUE);
  ServeDataHost(g_view.webview.get(), g_view.environment.get());
  SetBackgroundColour();
  SubscribeWebMessages();
  OnWebViewReady(g_view.webview.get());
  // The first page loads only once the HUD's world, its binding and the document scripts
  // are all registered, so no document of the chart site ever runs without them.
  StartHudChannel(g_view.webview.get(), NavigateToFirstPage);
}

HRESULT OnControllerCreated(HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || !controller) {
    LogDebug("CreateCoreWebView2Controller failed res = " +
             SignedDecimal(FAILED(result) ? result : E_POINTER));
    OnWebViewCreationFailed("CreateCoreWebView2Controller", FAILED(result) ? result : E_POINTER);
    return S_OK;
  }
  SetUpController(controller);
  return S_OK;
}

HRESULT OnEnvironmentCreated(HRESULT result, ICoreWebView2Environment* environment) {
  if (FAILED(result) || !environment) {
    LogDebug("CreateCoreWebView2Environment failed hr = " +
             SignedDecimal(FAILED(result) ? result : E_POINTER));
    OnWebViewCreationFailed("CreateCoreWebView2Environment", FAILED(result) ? result : E_POINTER);
    return S_OK;
  }
  g_view.environment = ComPtr<ICoreWebView2Environment>::FromRaw(environment);
  WatchRuntimeUpdates(environment);
  auto handler = MakeComCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, OnControllerCreated);
  const HRESULT hr = g_view.environment->CreateCoreWebView2Controller(g_view.window, handler.get());
  if (FAILED(hr)) {
    LogDebug("CreateCoreWebView2Controller failed res = " + SignedDecimal(hr));
    OnWebViewCreationFailed("CreateCoreWebView2Controller", hr);
  }
  return S_OK;
}

}  // namespace

void StartWebViewEnvironment(HWND window) {
  g_view.window = window;
  auto handler = MakeComCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, OnEnvironmentCreated);
  const HRESULT hr = CreateCoreWebView2EnvironmentWithOptions(
      nullptr, g_folders.workspaceData.c_str(), nullptr, handler.get());
  // A creation that could not even start never calls the handler; log it the same way.
  if (FAILED(hr)) {
    LogDebug("CreateCoreWebView2Environment failed hr = " + SignedDecimal(hr));
    OnWebViewCreationFailed("CreateCoreWebView2Environment", hr);
  }
}

bool WebViewExists() {
  return static_cast<bool>(g_view.webview);
}

bool ControllerExists() {
  return static_cast<bool>(g_view.controller);
}

void SetWebViewBounds(const RECT& bounds) {
  if (g_view.controller) (void)g_view.controller->put_Bounds(bounds);
}

void SetWebViewVisible(bool visible) {
  if (g_view.controller) (void)g_view.controller->put_IsVisible(visible ? TRUE : FALSE);
}

void NotifyWebViewParentMoved() {
  if (g_view.controller) (void)g_view.controller->NotifyParentWindowPositionChanged();
}

bool IsWebViewVisible() {
  BOOL visible = FALSE;
  if (!g_view.controller || FAILED(g_view.controller->get_IsVisible(&visible))) return false;
  return visible != FALSE;
}

void NavigateWebView(const std::wstring& url) {
  if (!g_view.webview) return;
  NoteChartNavigation();
  const HRESULT hr = g_view.webview->Navigate(url.c_str());
  if (FAILED(hr)) {
    LogDebug("Navigation to " + PrintableForLog(WideToUtf8(url)) +
             " could not start: " + SignedDecimal(hr));
    return;
  }
  g_view.followUp.Navigated(WideToUtf8(url), ::GetTickCount64());
}

void RepairSupersededNavigation() {
  if (!g_view.webview || !g_view.followUp.Pending()) return;
  LPWSTR raw = nullptr;
  const HRESULT hr = g_view.webview->get_Source(&raw);
  const UniqueCoTaskMem owner(raw);
  if (FAILED(hr) || !raw) return;
  const std::string source = WideToUtf8(raw);
  const NavigationFollowUp::Repair repair = g_view.followUp.Check(source, ::GetTickCount64());
  if (repair.gaveUp) {
    LogDebug("Chart page stays on an older request: " + PrintableForLog(source));
    return;
  }
  if (repair.url.empty()) return;
  LogDebug("Chart page ended on an older request (" + PrintableForLog(source) +
           "); navigating again to: " + PrintableForLog(repair.url));
  NavigateWebView(Utf8ToWide(repair.url));
}

bool CapturePreviewToFile(const std::wstring& path, std::function<void(HRESULT)> done) {
  if (!g_view.webview) return false;
  ComPtr<IStream> stream;
  if (FAILED(::SHCreateStreamOnFileW(path.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_DENY_NONE,
                                     stream.put())) ||
      !stream) {
    return false;
  }
  // The handler owns the stream: releasing it there closes the file before done runs.
  auto handler = MakeComCallback<ICoreWebView2CapturePreviewCompletedHandler>(
      IID_ICoreWebView2CapturePreviewCompletedHandler,
      [stream, done = std::move(done)](HRESULT result) mutable -> HRESULT {
        stream.reset();
        if (done) done(result);
        return S_OK;
      });
  const HRESULT hr = g_view.webview->CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG,
                                                    stream.get(), handler.get());
  return SUCCEEDED(hr);
}

bool ReloadWebView() {
  return g_view.webview && SUCCEEDED(g_view.webview->Reload());
}

void ReleaseWebView() {
  StopWatchingWebView(g_view.webview.get(), g_view.environment.get());
  StopHudChannel();
  StopServingDataHost(g_view.webview.get());
  if (g_view.webview && g_view.messageSubscribed) {
    (void)g_view.webview->remove_WebMessageReceived(g_view.messageToken);
    g_view.messageSubscribed = false;
  }
  if (g_view.controller) {
    (void)g_view.controller->put_IsVisible(FALSE);
    (void)g_view.controller->Close();
    g_view.controller.reset();
  }
  g_view.webview.reset();
  g_view.environment.reset();
}
