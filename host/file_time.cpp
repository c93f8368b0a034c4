#include "host/file_time.h"

std::uint64_t UnixMsFromFileTicks(std::uint64_t ticks) {
  return ticks < kUnixEpochFileTicks ? 0 : (ticks - kUnixEpochFileTicks) / 10000;
}
