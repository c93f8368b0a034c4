#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/request_target.h"
#include "bridge/request_target_win.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/json.h"
#include "host/process_state.h"
#include "overlay/chart_picture.h"
#include "overlay/child_lifecycle.h"
#include "overlay/hud_channel_win.h"
#include "overlay/order_queue.h"
#include "overlay/page_requests.h"
#include "overlay/page_scripts.h"
#include "overlay/positions.h"
#include "overlay/webview_host.h"
#include "overlay/workspace_state.h"

namespace {

// Everything a new document's HUD needs from the host, which it cannot have had before it
// was built: its chart, the settings, keys and bot state, the positions and the fates of
// recent orders.
void WelcomeNewHud() {
  JsonValue chart = JsonObject();
  chart.Set("type", JsonString("chart"));
  chart.Set("hwnd", JsonString(std::to_string(g_launch.chartWindow)));
  (void)PushToHud(chart);  // the HUD was just announced; a lost push is repeated at the next
  PushWorkspaceState(true);
  RepushOpenPositions();
  RepushRecentFates();
}

}  // namespace

bool HandlePageRequest(const std::wstring& message) {
  // Sent by the HUD of every new document once it is built (POSITIONS_PULL is its former
  // name): the host's pushes before that went into a page without a HUD.
  if (message != L"HUD_READY" && message != L"POSITIONS_PULL") return false;
  NotePageReported();
  WelcomeNewHud();
  return true;
}

namespace {

RequestWaitClock g_waiting;

void RaiseStudioWindow() {
  const HWND window = g_windows.window;
  if (!window || !::IsWindow(window)) return;
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::ShowWindow(window, SW_SHOW);
  // Top-most and back again lifts the studio over other windows without pinning it there.
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  ::BringWindowToTop(window);
  ::SetForegroundWindow(window);
}

}  // namespace

void CheckEvaluationRequest() {
  if (!WebViewExists()) return;
  const std::wstring path = BridgePath(g_folders.bridge, kEvalRequestFileName);
  if (!FileExists(path)) {
    g_waiting.Retain({});
    return;
  }
  // Empty while the daemon is still writing it; its body says whom it is for.
  const std::string body = WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes));
  if (body.empty()) return;
  const std::uint64_t named = RequestChartHandle(body);
  const std::uint64_t waited = g_waiting.Waited(kEvalRequestFileName, ::GetTickCount64());
  if (!ShouldTakeRequest(g_launch.chartWindow, named, named != 0 && ChartProcessRunning(named),
                         waited)) {
    return;
  }
  // Taken only by a process whose HUD can run it: a page still loading leaves it for a
  // later tick (or, after the wait, for another process) instead of losing it.
  if (!HudCanTakePushes()) return;
  // Acted on only when consumed: whoever else deleted it first has taken it.
  if (!::DeleteFileW(path.c_str())) return;
  g_waiting.Forget(kEvalRequestFileName);
  LogDebug("Evaluation request detected. Calling page evaluation.");
  if (IsStudioMode(g_launch.mode)) RaiseStudioWindow();
  JsonValue push = JsonObject();
  push.Set("type", JsonString("evaluate"));
  push.Set("reason", JsonString(kEvaluationReason));
  if (!PushToHud(push)) LogDebug("The evaluation request could not be handed to the page.");
}
