#pragma once
// The system clock and file stamps as host/file_time.h counts them.
#include <windows.h>

#include <cstdint>

[[nodiscard]] std::uint64_t FileTicks(const FILETIME& time);
// Now, in milliseconds since 1970.
[[nodiscard]] std::uint64_t UnixMsNow();
