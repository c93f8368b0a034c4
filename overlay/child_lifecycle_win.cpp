#include <windows.h>

#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/navigation_request.h"
#include "overlay/order_queue.h"
#include "overlay/webview_host.h"
#include "services/host_symbol.h"
#include "services/http_client.h"
#include "services/service_threads.h"

OverlayWindows g_windows;

namespace {

// Queued writes are small; a held file gets the writer's few seconds of retries.
constexpr std::chrono::milliseconds kExitGraceForFiles{6000};

std::uint64_t g_lastHeartbeat = 0;
bool g_heartbeatStopped = false;
UINT g_exitCode = 0;
// Where the chart's client area last was on the screen.
POINT g_chartOrigin{};
bool g_chartOriginKnown = false;

// The chart is a view inside the terminal's MDI windows: a minimised terminal (or a chart
// window minimised inside it) leaves the view's own client area as it was, so the size
// alone never shows it. The view, or any window it sits in, minimised or hidden is.
bool ChartOutOfSight(HWND chart) {
  if (!::IsWindowVisible(chart)) return true;
  for (HWND at = chart; at != nullptr; at = ::GetAncestor(at, GA_PARENT)) {
    if (::IsIconic(at)) return true;
    if (at == ::GetAncestor(chart, GA_ROOT)) break;
  }
  return false;
}

// The terminal moved, or the chart inside it: WebView2 must hear of it, or its pop-ups
// (the HUD's drop-downs) open where the page was.
void FollowChartPosition(HWND chart) {
  POINT origin{0, 0};
  if (!::ClientToScreen(chart, &origin)) return;
  const bool moved =
      g_chartOriginKnown && (origin.x != g_chartOrigin.x || origin.y != g_chartOrigin.y);
  g_chartOrigin = origin;
  g_chartOriginKnown = true;
  if (moved) NotifyWebViewParentMoved();
}

std::string HandleText() {
  return std::to_string(g_launch.chartWindow);
}

// In the writer's order, after any heartbeat still queued; at once if it takes no job.
void RemoveHeartbeatFile() {
  const std::wstring path =
      BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow));
  if (!RunOffWindowThread([path] { ::DeleteFileW(path.c_str()); })) ::DeleteFileW(path.c_str());
}

}  // namespace

bool IsShuttingDown() {
  return ShuttingDownFlag().load();
}

void WriteChartHeartbeatFile() {
  static std::atomic<bool> failing{false};
  const std::wstring path =
      BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow));
  // A tick count means nothing after a restart of the machine, so it is never flushed.
  const WriteStatus status = ReplaceFileWhole(path, HeartbeatBody(::GetTickCount64()),
                                              WriteRetry::kBrief, WriteDurability::kProcessKill);
  if (status.ok()) {
    if (failing.exchange(false)) LogDebug("Chart heartbeat written again.");
  } else if (!failing.exchange(true)) {
    LogDebug("Could not write the chart heartbeat: " + DescribeWriteError(status.error));
  }
}

void WriteChartHeartbeat() {
  if (g_launch.chartWindow == 0 || g_heartbeatStopped || IsShuttingDown()) return;
  const std::uint64_t now = ::GetTickCount64();
  if (now - g_lastHeartbeat < 4000) return;
  g_lastHeartbeat = now;
  // A reader holding the file makes the write retry; not on the window thread.
  if (!RunOffWindowThread(WriteChartHeartbeatFile)) WriteChartHeartbeatFile();
}

void StopChartHeartbeat() {
  if (g_heartbeatStopped) return;
  g_heartbeatStopped = true;
  if (g_launch.chartWindow != 0) RemoveHeartbeatFile();
}

void ResumeChartHeartbeat() {
  if (!g_heartbeatStopped) return;
  g_heartbeatStopped = false;
  g_lastHeartbeat = 0;
  WriteChartHeartbeat();
}

void RestartChild(const std::string& why) {
  if (IsShuttingDown()) return;
  LogDebug("Quorvale child for HWND: " + HandleText() + " restarts: " + why);
  // Not flushed: the request is read within moments by the next child, and a power loss
  // loses nothing but a symbol the companion's next launch request names again.
  const std::wstring nav =
      BridgePath(g_folders.bridge, NavigationRequestFileName(g_launch.chartWindow));
  // Written before the process ends: the exit waits for the writer.
  const bool queued = ReplaceFileOffWindowThread(
      nav, WideToUtf8(CurrentHostSymbol()),
      [](WriteStatus kept) {
        if (!kept.ok()) {
          LogDebug("The next child opens on the launch symbol: " + DescribeWriteError(kept.error));
        }
      },
      WriteDurability::kProcessKill);
  if (!queued) LogDebug("The next child opens on the launch symbol.");
  g_exitCode = kChildRestartExitCode;
  CleanShutdown();
}

namespace {

// The daemon asks every child to restart after a runtime update. An order still on its way
// is not cut off: the request waits (said once) until none is.
bool RestartRequested() {
  static bool waitLogged = false;
  const std::wstring path =
      BridgePath(g_folders.bridge, RestartRequestFileName(g_launch.chartWindow));
  if (!FileExists(path)) return false;
  if (OrdersInFlight()) {
    if (!waitLogged) {
      waitLogged = true;
      LogDebug("Restart of the Quorvale child for HWND: " + HandleText() +
               " waits for the chart's orders in flight.");
    }
    return false;
  }
  if (!::DeleteFileW(path.c_str())) return false;
  RestartChild("the daemon asked (WebView2 runtime update)");
  return true;
}

}  // namespace

void TrackChartWindow() {
  if (IsStudioMode(g_launch.mode)) return;
  if (g_windows.chart == nullptr || !::IsWindow(g_windows.chart)) {
    LogDebug("Parent window is no longer valid. Exiting child overlay.");
    CleanShutdown();
    return;
  }
  RECT chart{};
  if (!::GetClientRect(g_windows.chart, &chart)) return;
  const int width = chart.right - chart.left;
  const int height = chart.bottom - chart.top;
  if (width <= 0 || height <= 0 || ChartOutOfSight(g_windows.chart)) {
    // The page must not float over the desktop, and a hidden page is not captured.
    SetWebViewVisible(false);
    return;
  }
  FollowChartPosition(g_windows.chart);
  RECT own{};
  ::GetClientRect(g_windows.window, &own);
  if (own.right - own.left == width && own.bottom - own.top == height) {
    if (!ControllerExists() || IsWebViewVisible()) return;
  } else {
    ::MoveWindow(g_windows.window, 0, 0, width, height, TRUE);
  }
  if (!ControllerExists()) return;
  SetWebViewBounds(chart);
  SetWebViewVisible(true);
}

void CheckKillAndNavigation() {
  const std::wstring killPath =
      BridgePath(g_folders.bridge, KillRequestFileName(g_launch.chartWindow));
  if (FileExists(killPath)) {
    // Acted on only once consumed, as launch requests are: one that cannot be deleted
    // (held open by its writer) is tried again on the next tick instead of being obeyed
    // while it stays behind to end the next child for this chart.
    if (!::DeleteFileW(killPath.c_str())) return;
    if (IsStudioMode(g_launch.mode)) {
      LogDebug(
          "Ignoring kill signal in HEADLESS_VPS mode because AI Studio is an independent "
          "workstation.");
      return;
    }
    LogDebug("Kill signal received for HWND: " + HandleText());
    CleanShutdown();
    return;
  }

  if (RestartRequested()) return;

  const std::wstring navPath =
      BridgePath(g_folders.bridge, NavigationRequestFileName(g_launch.chartWindow));
  if (!FileExists(navPath)) return;
  // An empty file is one still being written (or held open by its writer): deleting it
  // now would lose the symbol it is about to hold, so it waits for the next tick.
  if (ReadTextFile(navPath, nullptr, kConfigFileCapBytes).empty()) return;
  // Taken by a rename before it is read: the daemon replaces the file whole at every symbol
  // change, and reading it and then deleting it by name could delete a newer symbol that
  // arrived in between, leaving the chart on the older one for good. What arrives after the
  // rename is a new file, read on the next tick.
  const std::wstring claimPath = BridgePath(
      g_folders.bridge, L"~" + NavigationRequestFileName(g_launch.chartWindow) + L".claimed");
  if (!::MoveFileExW(navPath.c_str(), claimPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  const std::wstring raw = ReadTextFile(claimPath, nullptr, kConfigFileCapBytes);
  ::DeleteFileW(claimPath.c_str());
  if (raw.empty()) return;
  const NavigationDecision decision =
      DecideNavigation(raw, CurrentHostSymbol(), g_launch.interval, g_launch.theme);
  if (!decision.newSymbol) return;
  SetHostSymbol(decision.symbol);
  if (!WebViewExists()) return;
  LogDebug("Navigating existing Quorvale overlay to: " + decision.url);
  NavigateWebView(Utf8ToWide(decision.url));
}

// Runs from window messages, and one of them may be the WM_DESTROY that the terminal's own
// thread sends while it destroys the chart (and with it the overlay): that thread waits for
// the answer, so the terminal stands still for as long as this takes. Only what is quick
// happens here; the rest follows once the message loop has ended (FinishShutdown).
void CleanShutdown() {
  if (ShuttingDownFlag().exchange(true)) return;
  LogDebug("CleanShutdown initiated for HWND: " + HandleText());
  // Behind any heartbeat write still queued, so none can bring the file back.
  if (g_launch.chartWindow != 0) RemoveHeartbeatFile();
  ::PostQuitMessage(static_cast<int>(g_exitCode));
}

void FinishShutdown() {
  CleanShutdown();
  ReleaseWebView();
  if (g_windows.window && ::IsWindow(g_windows.window)) {
    const HWND window = g_windows.window;
    g_windows.window = nullptr;
    ::DestroyWindow(window);
  }
  // The window is gone: waiting now holds nobody up. Files the window thread asked for are
  // written, and a journal upload or a notice still being sent gets a short grace, or the
  // fill it reports would never reach the journal.
  if (!DrainFileWriter(kExitGraceForFiles)) {
    LogDebug("Some files of this chart were not written before the exit.");
  }
  AwaitPostsBeforeExit();
  ::CoUninitialize();
  ::ExitProcess(g_exitCode);
}
