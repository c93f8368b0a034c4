#pragma once
// What became of one bridge write, kept apart from the OS glue so that pure code (the
// order outbox, the Telegram replies, log lines) can reason about it.
#include <cstdint>
#include <string>

struct WriteStatus {
  // 0 when the new content is in place; otherwise the Windows error of the step that
  // finally failed (GetLastError), never 0.
  std::uint32_t error = 0;
  [[nodiscard]] bool ok() const { return error == 0; }
};

// "Windows error <n>" plus a short name for the errors a trader's machine really shows.
[[nodiscard]] std::string DescribeWriteError(std::uint32_t error);
