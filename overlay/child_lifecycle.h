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
// Rewrites QV_Active_<handle>.txt with the current tick count, unthrottled. A failure is
// logged once per run of failures (the next heartbeat tries again, and a log line every
// 4 s would bury everything else).
void WriteChartHeartbeatFile();
// While the child has no WebView (lost, or not made after a failure) it is no overlay, and
// the companion must see that: the heartbeat file goes and no new one is written until the
// WebView is back, when one is written at once.
void StopChartHeartbeat();
void ResumeChartHeartbeat();
void TrackChartWindow();
void CheckKillAndNavigation();
// Starts the end of the process: the heartbeat goes and the message loop is told to end; a
// re-entry while shutting down returns at once. Quick, as it may run inside the WM_DESTROY
// the terminal's thread waits for.
void CleanShutdown();
// After the message loop: releases the WebView, destroys the window if it still exists,
// gives queued files and uploads their grace, and ends the process with its exit code (0,
// or kChildRestartExitCode after RestartChild).
[[noreturn]] void FinishShutdown();
[[nodiscard]] bool IsShuttingDown();
// Ends the child through its clean shutdown with kChildRestartExitCode, so the daemon starts
// a new one on this chart; the symbol shown now is left as the chart's navigation request,
// which the new child takes before its first page.
void RestartChild(const std::string& why);
