#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "host/ascii_text.h"

namespace {

TEST(RequestNames, PrefixAndSuffixIgnoreLetterCase) {
  EXPECT_TRUE(
      StartsAndEndsWithNoCase(L"qv_capture_request_7.TXT", L"QV_Capture_Request_", L".txt"));
  EXPECT_FALSE(StartsAndEndsWithNoCase(L"QV_Capture_Request.txt", L"QV_Capture_Request_", L".txt"));
  EXPECT_FALSE(
      StartsAndEndsWithNoCase(L"QV_Capture_Request_7.txt.bak", L"QV_Capture_Request_", L".txt"));
}

// Only A-Z fold: a non-ASCII unit that a locale-aware lower() would map (the Kelvin sign,
// a dotted capital I) must not make two different file names equal.
TEST(RequestNames, OnlyAsciiLettersFold) {
  EXPECT_TRUE(
      EqualsNoCase(std::string_view("QV_Launch_A.TXT"), std::string_view("qv_launch_a.txt")));
  EXPECT_FALSE(EqualsNoCase(std::wstring_view(L"\x212A"), std::wstring_view(L"k")));
  EXPECT_FALSE(EqualsNoCase(std::wstring_view(L"\x0130"), std::wstring_view(L"i")));
  EXPECT_FALSE(EqualsNoCase(std::string_view("ab"), std::string_view("abc")));
  EXPECT_EQ(AsciiLowered(std::string("HTTPS://A\xC3\x89")), "https://a\xC3\x89");
  EXPECT_EQ(AsciiLowered(std::string("[@Z`")), "[@z`") << "the neighbours of A and Z stay";
}

TEST(Decimal, DigitsOnlyAndOverflowFails) {
  std::uint64_t v = 7;
  EXPECT_TRUE(ParseDecimal("18446744073709551615", &v));
  EXPECT_EQ(v, 18446744073709551615ull);
  EXPECT_TRUE(ParseDecimal("00000000000000000000042", &v)) << "leading zeros are no overflow";
  EXPECT_EQ(v, 42u);
  v = 7;
  for (const char* bad : {"", "18446744073709551616", "-1", "+1", " 1", "1 ", "0x10", "1.5"}) {
    EXPECT_FALSE(ParseDecimal(bad, &v)) << bad;
    EXPECT_EQ(v, 7u) << "a failed parse leaves the value alone: " << bad;
  }
  EXPECT_EQ(DigitsOf("0x1A-2b 3"), "0123");
}

}  // namespace
