#include "overlay/chart_picture.h"
#include "overlay/page_requests.h"
#include "overlay/positions_push.h"

bool HandlePageRequest(const std::wstring& message) {
  // Sent by the HUD of every new document once its PnL badge exists: the host's pushes
  // before that (start-up, navigation, reload) went into a page without a badge.
  if (message != L"POSITIONS_PULL") return false;
  NotePageReported();
  RepushOpenPositions();
  return true;
}
