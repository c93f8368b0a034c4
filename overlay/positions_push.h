#pragma once
// QV_OpenPositions.json into the page's PnL badge (window thread).

// Pushes when the file's time or text changed since the last push.
void PushOpenPositions();
// Pushes the current file whatever was pushed before: a new document (start-up,
// navigation, reload) has a fresh badge that showed nothing of the earlier pushes.
void RepushOpenPositions();
