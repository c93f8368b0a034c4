#pragma once
// The picture of the chart the copilot sends to the AI: QV_AICopilotChart_<hwnd>.png for
// the page of this chart, and QV_AICopilotChart.png as before for the studio. Window thread.
#include <string>

// At most every 4 s, never in the studio, only once the page shows the requested symbol,
// never while the page cannot be captured, and one at a time.
void CaptureChart();
// WebView2 completes no capture while the view is hidden or its window is not visible
// (WebView2Feedback #579): the minimised terminal, a chart out of sight, a hidden studio.
[[nodiscard]] bool PageCanBeCaptured();
// Navigation started: the next picture waits for the new page.
void NoteChartNavigation();
// The HUD of a new document reported itself.
void NotePageReported();
