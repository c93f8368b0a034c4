#include <gtest/gtest.h>

#include "host/process_state.h"

namespace {

TEST(WindowHandle, DecimalPrefixAfterBlanks) {
  EXPECT_EQ(ParseWindowHandle(L"  12345"), 12345u);
  EXPECT_EQ(ParseWindowHandle(L"007"), 7u);
  EXPECT_EQ(ParseWindowHandle(L"12ab34"), 12u);
  EXPECT_EQ(ParseWindowHandle(L"0x1A2B"), 0u);
  EXPECT_EQ(ParseWindowHandle(L""), 0u);
  EXPECT_EQ(ParseWindowHandle(L"-5"), 0u);
  EXPECT_EQ(ParseWindowHandle(L"18446744073709551615"), 18446744073709551615ull);
}

TEST(WindowHandle, OverflowSaturatesInsteadOfWrapping) {
  // Wrapping would turn an absurd value into some real, unrelated window handle.
  EXPECT_EQ(ParseWindowHandle(L"18446744073709551616"), 18446744073709551615ull);
  EXPECT_EQ(ParseWindowHandle(L"99999999999999999999999999"), 18446744073709551615ull);
}

}  // namespace
