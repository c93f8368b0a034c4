#include <string>

#include "host/json.h"
#include "host/process_state.h"
#include "overlay/chart_picture.h"
#include "overlay/hud_link.h"
#include "overlay/order_queue.h"
#include "overlay/page_requests.h"
#include "overlay/positions_push.h"
#include "overlay/workspace_pushes.h"

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
