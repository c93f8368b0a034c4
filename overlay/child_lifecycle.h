#pragma once
// What keeps a child fitted to its chart, alive in the bridge folder and able to end
// cleanly. All of it runs on the window thread.
#include <windows.h>

struct OverlayWindows {
  HWND window = nullptr;  // the overlay or studio window
  HWND chart = nullptr;   // the chart window from the command line
};
extern OverlayWindows g_windows;

// At most once per 4000 ms; never for handle 0.
void WriteChartHeartbeat();
void TrackChartWindow();
void CheckKillAndNavigation();
// Ends the process with code 0; a re-entry while shutting down (the window's destruction
// comes back through the window procedure) returns at once.
void CleanShutdown();
[[nodiscard]] bool IsShuttingDown();
