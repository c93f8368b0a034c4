#include <windows.h>

#include "overlay/webview_recovery_win.h"

#include <cstdio>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/webview_host.h"
#include "overlay/webview_recovery.h"
#include "webview2/com_callback.h"

// ProcessFailed and NewBrowserVersionAvailable arrive inside the runtime's own call; the step
// they lead to (reload, a new view, a restart) runs from the window's recovery timer, after
// the handler has returned, never inside it.

namespace {

struct RecoveryState {
  WebViewRecovery policy;
  RecoveryDecision next;
  bool pending = false;
  EventRegistrationToken failedToken{};
  bool failedSubscribed = false;
  EventRegistrationToken versionToken{};
  bool versionSubscribed = false;
  bool updateAnnounced = false;
};
RecoveryState g_recovery;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string Seconds(std::uint64_t ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

void Schedule(const RecoveryDecision& decision) {
  g_recovery.next = decision;
  g_recovery.pending = true;
  const UINT delay = static_cast<UINT>(decision.delayMs < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM
                                                                             : decision.delayMs);
  if (!g_windows.window || !::SetTimer(g_windows.window, kRecoveryTimer, delay, nullptr)) {
    g_recovery.pending = false;
    LogDebug("The WebView cannot be recovered: no recovery timer (error " +
             std::to_string(::GetLastError()) + ").");
  }
}

const char* KindName(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      return "the browser process exited";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
      return "the page's render process exited";
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      return "the page's render process does not respond";
    default:
      return "a helper process exited";
  }
}

HRESULT OnProcessFailed(ICoreWebView2ProcessFailedEventArgs* args) {
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
  if (!args || FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
  if (IsShuttingDown()) return S_OK;
  LogDebug("WebView2 process failed (kind " + std::to_string(static_cast<int>(kind)) +
           "): " + KindName(kind) + ".");
  WebViewFailure failure;
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      failure = WebViewFailure::kBrowserExited;
      // The view is closed already; the chart has no overlay until a new one is made.
      StopChartHeartbeat();
      break;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
      failure = WebViewFailure::kRendererExited;
      break;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      failure = WebViewFailure::kRendererUnresponsive;
      break;
    default:
      // Frames, the GPU and utility processes are brought back by WebView2 itself.
      return S_OK;
  }
  // A renderer that stays unresponsive is reported every few seconds; one step waiting is
  // enough. A browser loss outranks it: the view is gone.
  if (g_recovery.pending && failure != WebViewFailure::kBrowserExited) return S_OK;
  Schedule(g_recovery.policy.OnFailure(failure, ::GetTickCount64()));
  return S_OK;
}

HRESULT OnNewBrowserVersion(ICoreWebView2Environment* sender) {
  if (g_recovery.updateAnnounced || IsShuttingDown()) return S_OK;
  g_recovery.updateAnnounced = true;
  std::string version = "unknown";
  LPWSTR raw = nullptr;
  if (sender && SUCCEEDED(sender->get_BrowserVersionString(&raw)) && raw) {
    version = WideToUtf8(raw);
  }
  const UniqueCoTaskMem owner(raw);
  LogDebug("A new WebView2 runtime is installed (this child runs " + version +
           "); asking the daemon to restart the children.");
  // Every child on the old browser announces it; the daemon needs one request.
  const auto told = [](WriteStatus written) {
    if (!written.ok()) {
      LogDebug("Could not ask the daemon to restart the children: " +
               DescribeWriteError(written.error));
    }
  };
  if (!ReplaceFileOffWindowThread(BridgePath(g_folders.bridge, kRuntimeUpdateFileName), version,
                                  told, WriteDurability::kProcessKill)) {
    LogDebug("Could not ask the daemon to restart the children.");
  }
  return S_OK;
}

}  // namespace

void OnWebViewReady(ICoreWebView2* webview) {
  g_recovery.policy.OnWebViewReady();
  ResumeChartHeartbeat();
  if (!webview) return;
  auto handler = MakeComCallback<ICoreWebView2ProcessFailedEventHandler>(
      IID_ICoreWebView2ProcessFailedEventHandler,
      [](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) -> HRESULT {
        return OnProcessFailed(args);
      });
  const HRESULT hr = webview->add_ProcessFailed(handler.get(), &g_recovery.failedToken);
  g_recovery.failedSubscribed = SUCCEEDED(hr);
  if (FAILED(hr)) {
    LogDebug("A failed WebView2 process would go unnoticed: add_ProcessFailed " + Hex(hr));
  }
}

void WatchRuntimeUpdates(ICoreWebView2Environment* environment) {
  if (!environment) return;
  auto handler = MakeComCallback<ICoreWebView2NewBrowserVersionAvailableEventHandler>(
      IID_ICoreWebView2NewBrowserVersionAvailableEventHandler,
      [](ICoreWebView2Environment* sender, IUnknown*) -> HRESULT {
        return OnNewBrowserVersion(sender);
      });
  const HRESULT hr =
      environment->add_NewBrowserVersionAvailable(handler.get(), &g_recovery.versionToken);
  g_recovery.versionSubscribed = SUCCEEDED(hr);
  if (FAILED(hr)) {
    LogDebug("A runtime update would go unnoticed: add_NewBrowserVersionAvailable " + Hex(hr));
  }
}

void OnWebViewCreationFailed(const char* what, HRESULT hr) {
  if (IsShuttingDown()) return;
  // Without a WebView this child is no overlay, whatever its window does.
  StopChartHeartbeat();
  const RecoveryDecision decision =
      g_recovery.policy.OnFailure(WebViewFailure::kCreationFailed, ::GetTickCount64());
  if (decision.step == RecoveryStep::kRestartChild) {
    LogDebug(std::string(what) + " failed with " + Hex(hr) + " " +
             std::to_string(g_recovery.policy.creationFailures()) + " times in a row.");
  } else {
    LogDebug(std::string(what) + " failed with " + Hex(hr) + "; trying again in " +
             Seconds(decision.delayMs) + ".");
  }
  Schedule(decision);
}

void StopWatchingWebView(ICoreWebView2* webview, ICoreWebView2Environment* environment) {
  if (webview && g_recovery.failedSubscribed) {
    (void)webview->remove_ProcessFailed(g_recovery.failedToken);
  }
  g_recovery.failedSubscribed = false;
  if (environment && g_recovery.versionSubscribed) {
    (void)environment->remove_NewBrowserVersionAvailable(g_recovery.versionToken);
  }
  g_recovery.versionSubscribed = false;
}

void OnRecoveryTimer() {
  if (g_windows.window) ::KillTimer(g_windows.window, kRecoveryTimer);
  if (!g_recovery.pending || IsShuttingDown()) return;
  g_recovery.pending = false;
  switch (g_recovery.next.step) {
    case RecoveryStep::kReload:
      LogDebug("Reloading the chart page after its render process failed.");
      if (!ReloadWebView()) {
        Schedule(g_recovery.policy.OnFailure(WebViewFailure::kBrowserExited, ::GetTickCount64()));
      }
      return;
    case RecoveryStep::kRecreate:
      LogDebug("Creating a new WebView2 environment and controller.");
      ReleaseWebView();
      StartWebViewEnvironment(g_windows.window);
      return;
    case RecoveryStep::kRestartChild:
      RestartChild("its WebView could not be brought back");
      return;
  }
}
