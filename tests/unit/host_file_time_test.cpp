#include <gtest/gtest.h>

#include "host/file_time.h"

namespace {

// Order ids and the stale-file sweep count Unix milliseconds from file times: a wrong epoch
// would hand out ids behind the clock or sweep fresh results.
TEST(FileTime, UnixMillisecondsFromFileTicks) {
  EXPECT_EQ(UnixMsFromFileTicks(kUnixEpochFileTicks), 0u);
  EXPECT_EQ(UnixMsFromFileTicks(kUnixEpochFileTicks + 9999), 0u) << "whole milliseconds";
  EXPECT_EQ(UnixMsFromFileTicks(kUnixEpochFileTicks + 10000), 1u);
  // 2025-12-06 05:46:40 UTC, the stamp of the outbox tests.
  EXPECT_EQ(UnixMsFromFileTicks(134094736000000000ull), 1765000000000u);
  EXPECT_EQ(UnixMsFromFileTicks(kUnixEpochFileTicks - 1), 0u) << "before 1970 is no time";
  EXPECT_EQ(UnixMsFromFileTicks(0), 0u);
}

}  // namespace
