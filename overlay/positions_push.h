#pragma once
// QV_OpenPositions.json into the page's PnL badge (window thread, except where said).
#include <windows.h>

// Posted by the positions watch to the window that started it.
inline constexpr UINT kPositionsChangedMessage = WM_APP + 1;

// Pushes when the file's time or text changed since the last push.
void PushOpenPositions();
// Pushes the current file whatever was pushed before: a new document (start-up,
// navigation, reload) has a fresh badge that showed nothing of the earlier pushes.
void RepushOpenPositions();

// Starts the thread that posts kPositionsChangedMessage to the window when the positions
// file changed, so a change reaches the page at once instead of at the next housekeeping
// tick; the tick stays as the fallback, and is all there is when the folder cannot be
// watched (said once in the log).
void StartPositionsWatch(HWND window);
// The window's answer to kPositionsChangedMessage.
void OnPositionsChanged();
