#pragma once

// Background services every process starts: the once-a-day COT refresh and the Telegram
// bot worker.
void StartCotRefreshThread();
void StartTelegramWorkerThread();
