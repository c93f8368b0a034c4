#pragma once
// DPI awareness of the windows a child creates. Window thread, before the window exists.
#include <windows.h>

// The overlay is parented into the terminal's chart window, which lives in another process
// with an awareness of its own; Windows refuses a child of another awareness, so the
// window thread takes the chart's. It keeps it: WebView2 creates its own windows in ours
// later, from this thread.
void AdoptChartDpiAwareness(HWND chart);

// The studio is a top-level window of its own: per-monitor v2 where the system has it.
void BecomePerMonitorDpiAware();
