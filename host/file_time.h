#pragma once
// Windows file times (100-nanosecond ticks since 1601) and the Unix clock the bridge's
// ids, ages and Telegram dates use.
#include <cstdint>

// Ticks between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t kUnixEpochFileTicks = 116444736000000000ull;

// Milliseconds since 1970; 0 for a time before it (a clock that far off names no order).
[[nodiscard]] std::uint64_t UnixMsFromFileTicks(std::uint64_t ticks);
