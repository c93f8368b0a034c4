#pragma once
// The picture of the chart the copilot sends to the AI: QV_AICopilotChart_<hwnd>.png for
// the page of this chart, and QV_AICopilotChart.png as before for the studio. Window thread.
#include <string>

// At most every 4 s, never in the studio, only once the page shows the requested symbol.
void CaptureChart();
// Navigation started: the next picture waits for the new page.
void NoteChartNavigation();
// The HUD of a new document reported itself.
void NotePageReported();
