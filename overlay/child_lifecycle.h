#pragma once
// What keeps a child fitted to its chart, alive in the bridge folder and able to end
// cleanly. All of it runs on the window thread.
#include <windows.h>

#include <string>

struct OverlayWindows {
  HWND window = nullptr;  // the overlay or studio window
  HWND chart = nullptr;   // the chart window from the command line
};
extern OverlayWindows g_windows;

// At most once per 4000 ms; never for handle 0, nor while the heartbeat is stopped.
void WriteChartHeartbeat();
// While the child has no WebView (lost, or not made after a failure) it is no overlay, and
// the companion must see that: the heartbeat file goes and no new one is written until the
// WebView is back, when one is written at once.
void StopChartHeartbeat();
void ResumeChartHeartbeat();
void TrackChartWindow();
void CheckKillAndNavigation();
// Ends the process with code 0; a re-entry while shutting down (the window's destruction
// comes back through the window procedure) returns at once.
void CleanShutdown();
[[nodiscard]] bool IsShuttingDown();
// Ends the child through its clean shutdown with kChildRestartExitCode, so the daemon starts
// a new one on this chart; the symbol shown now is left as the chart's navigation request,
// which the new child takes before its first page.
void RestartChild(const std::string& why);
