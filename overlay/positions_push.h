#pragma once
// QV_OpenPositions.json into the page's PnL badge (window thread, except where said).
#include <windows.h>

// Pushes when the file's time or text changed since the last push.
void PushOpenPositions();
// Pushes the current file whatever was pushed before: a new document (start-up,
// navigation, reload) has a fresh badge that showed nothing of the earlier pushes.
void RepushOpenPositions();

// Starts the thread that watches the bridge folder and hands the window thread a push when
// the positions file changed, and the order fates when a result of the companion landed, so
// either reaches the page at once instead of at the next housekeeping tick; the tick stays
// as the fallback, and is all there is when the folder cannot be watched (said once in the
// log). The window-thread queue must be running.
void StartPositionsWatch();
// The window thread's push after a change.
void OnPositionsChanged();
