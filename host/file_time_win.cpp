#include "host/file_time_win.h"

#include "host/file_time.h"

std::uint64_t FileTicks(const FILETIME& time) {
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::uint64_t UnixMsNow() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return UnixMsFromFileTicks(FileTicks(now));
}
