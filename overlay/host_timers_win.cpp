#include <windows.h>

#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/capture_watcher.h"
#include "overlay/child_lifecycle.h"
#include "overlay/host_timers.h"
#include "overlay/order_queue.h"
#include "overlay/page_scripts.h"
#include "overlay/webview_host.h"

namespace {

struct PushState {
  FILETIME positionsTime{};
  std::wstring positionsText;
  std::uint64_t lastCapture = 0;
};
PushState g_push;

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Runs every 500 ms, so the unchanged case is one existence test, one read and two
// comparisons, with no page call.
void PushOpenPositions() {
  if (!WebViewExists()) return;
  const std::wstring path = BridgePath(g_folders.bridge, L"QV_OpenPositions.json");
  if (!FileExists(path)) return;
  FILETIME written{};
  const std::wstring text = ReadTextFile(path, &written);
  if (text.empty()) return;
  if (SameTime(written, g_push.positionsTime) && text == g_push.positionsText) return;
  g_push.positionsTime = written;
  g_push.positionsText = text;
  ExecutePageScript(Utf8ToWide(BuildPositionsPushScript(WideToUtf8(text))));
}

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

void CheckEvaluationRequest() {
  if (!WebViewExists()) return;
  const std::wstring path = BridgePath(g_folders.bridge, kEvalRequestFileName);
  if (!FileExists(path)) return;
  ::DeleteFileW(path.c_str());
  LogDebug("Evaluation request detected. Calling page evaluation (triggerEvaluationNow).");
  if (IsStudioMode(g_launch.mode)) RaiseStudioWindow();
  ExecutePageScript(Utf8ToWide(BuildEvaluationCallScript()));
}

void CaptureChart() {
  if (!WebViewExists()) return;
  if (IsStudioMode(g_launch.mode)) return;
  const std::uint64_t now = ::GetTickCount64();
  if (now - g_push.lastCapture < 4000 && g_push.lastCapture != 0) return;
  // Stamped before the file is opened, so a failed open also waits the full 4 seconds.
  g_push.lastCapture = now;
  (void)CapturePreviewToFile(BridgePath(g_folders.bridge, L"QV_AICopilotChart.png"), nullptr);
}

}  // namespace

void OnFollowTimer() {
  TrackChartWindow();
  if (IsShuttingDown()) return;
  CheckKillAndNavigation();
}

void OnHousekeepingTimer() {
  WriteChartHeartbeat();
  PushOpenPositions();
  PushOrderFates();
  CaptureRequestWatcher();
  CheckEvaluationRequest();
  CaptureChart();
}
