#pragma once
#include <atomic>

// Set by a child's clean shutdown on its first entry; the Telegram worker ends at the top
// of its next pass when it sees it. The daemon never sets it.
[[nodiscard]] std::atomic<bool>& ShuttingDownFlag() noexcept;
