#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/process_state.h"
#include "overlay/page_scripts.h"
#include "overlay/positions_push.h"
#include "overlay/webview_host.h"

namespace {

struct PositionsState {
  FILETIME time{};
  std::wstring text;
};
PositionsState g_positions;

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

// Runs every 500 ms, so the unchanged case is one existence test, one read and two
// comparisons, with no page call.
void PushOpenPositions() {
  if (!WebViewExists()) return;
  const std::wstring path = BridgePath(g_folders.bridge, L"QV_OpenPositions.json");
  if (!FileExists(path)) return;
  FILETIME written{};
  const std::wstring text = ReadTextFile(path, &written);
  if (text.empty()) return;
  if (SameTime(written, g_positions.time) && text == g_positions.text) return;
  g_positions.time = written;
  g_positions.text = text;
  ExecutePageScript(Utf8ToWide(BuildPositionsPushScript(WideToUtf8(text))));
}

void RepushOpenPositions() {
  g_positions = PositionsState{};
  PushOpenPositions();
}
