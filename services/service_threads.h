#pragma once
// Background services every process starts: the once-a-day COT refresh and the Telegram
// bot worker, and the flag that ends them.
#include <atomic>

void StartCotRefreshThread();
void StartTelegramWorkerThread();

// Set by a child's clean shutdown on its first entry; the Telegram worker ends at the top
// of its next pass when it sees it. The daemon never sets it.
[[nodiscard]] std::atomic<bool>& ShuttingDownFlag() noexcept;
