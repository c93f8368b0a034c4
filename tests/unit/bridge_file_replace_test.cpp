#include <gtest/gtest.h>

#include "bridge/file_replace.h"

namespace {

TEST(WriteStatusText, NamesTheWindowsError) {
  EXPECT_EQ(DescribeWriteError(32), "Windows error 32 (sharing violation)");
  EXPECT_EQ(DescribeWriteError(1234), "Windows error 1234");
  EXPECT_TRUE(WriteStatus{}.ok());
  EXPECT_FALSE(WriteStatus{5}.ok());
}

}  // namespace
