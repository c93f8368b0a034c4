#include "daemon/launch_request.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(LaunchRequestParse, OnlyHandleGivesEveryDefault) {
  const LaunchRequest r = ParseLaunchRequest("HWND=4242");
  EXPECT_EQ(r.handleText, "4242");
  EXPECT_EQ(r.symbol, "NASDAQ:NDX");
  EXPECT_EQ(r.interval, "D");
  EXPECT_EQ(r.theme, "dark");
  EXPECT_EQ(r.userId, "MQL5_MARKET_EDITION");
  EXPECT_EQ(r.mode, "WORKSTATION");
}

TEST(LaunchRequestParse, EveryKeyAndLineEnds) {
  const LaunchRequest r = ParseLaunchRequest(
      "HWND=1\r\nSYMBOL=EURUSD\r\nINTERVAL=60 "
      "\t\r\nTHEME=light\nUSER_ID=u-1\nMODE=HEADLESS_VPS\r\n");
  EXPECT_EQ(r.handleText, "1");
  EXPECT_EQ(r.symbol, "EURUSD");
  EXPECT_EQ(r.interval, "60");  // trailing blank, tab and CR ignored
  EXPECT_EQ(r.theme, "light");
  EXPECT_EQ(r.userId, "u-1");
  EXPECT_EQ(r.mode, "HEADLESS_VPS");
}

TEST(LaunchRequestParse, TrimmingAroundTheEqualsSign) {
  // Blanks on both sides of "=" go; the value's inner blanks stay.
  EXPECT_EQ(ParseLaunchRequest("SYMBOL \t=  \tXAU USD").symbol, "XAU USD");
  // An indented key is a different key: MODE keeps its default.
  EXPECT_EQ(ParseLaunchRequest(" MODE=HEADLESS_VPS").mode, "WORKSTATION");
  EXPECT_EQ(ParseLaunchRequest("\tMODE=HEADLESS_VPS").mode, "WORKSTATION");
  // Only the first "=" splits.
  EXPECT_EQ(ParseLaunchRequest("USER_ID=a=b=").userId, "a=b=");
  // A present but empty value is empty, not the default.
  EXPECT_EQ(ParseLaunchRequest("THEME=").theme, "");
  EXPECT_EQ(ParseLaunchRequest("THEME=   \r").theme, "");
}

TEST(LaunchRequestParse, KeysExactCaseSensitiveLaterWins) {
  const LaunchRequest r = ParseLaunchRequest(
      "symbol=GBPUSD\nSYMBOLS=X\nSYMBOL=EURUSD\nSYMBOL=USDJPY\nnot a pair\n=orphan\nHWND");
  EXPECT_EQ(r.symbol, "USDJPY");
  EXPECT_EQ(r.handleText, "");  // "HWND" without "=" is no key at all
}

TEST(LaunchRequestParse, CarriageReturnOnlyCountsAtTheEnd) {
  // A lone CR is not a line break: the rest of the text stays in the value.
  EXPECT_EQ(ParseLaunchRequest("SYMBOL=A\rMODE=HEADLESS_VPS").symbol, "A\rMODE=HEADLESS_VPS");
}

TEST(HandleDigits, NonDigitsDroppedLeadingZerosKept) {
  EXPECT_EQ(HandleDigits("0x1A2B"), "012");
  EXPECT_EQ(ParseHandleDigits(HandleDigits("0x1A2B")), 12u);
  EXPECT_EQ(HandleDigits("007"), "007");
  EXPECT_EQ(ParseHandleDigits("007"), 7u);
  EXPECT_EQ(HandleDigits(" 12 34\t"), "1234");
  EXPECT_EQ(HandleDigits("-5"), "5");
  EXPECT_EQ(HandleDigits("abc"), "");
  // Only ASCII digits: the bytes of a full-width "１" are not digits.
  EXPECT_EQ(HandleDigits("\xEF\xBC\x91"), "");
}

TEST(HandleDigits, OverflowSaturatesInsteadOfWrapping) {
  EXPECT_EQ(ParseHandleDigits("18446744073709551615"), 18446744073709551615ull);
  // 2^64 would wrap to 0 and 2^64 + 5 to the handle 5, some other real window.
  EXPECT_EQ(ParseHandleDigits("18446744073709551616"), 18446744073709551615ull);
  EXPECT_EQ(ParseHandleDigits("18446744073709551621"), 18446744073709551615ull);
  EXPECT_EQ(ParseHandleDigits(std::string(400, '9')), 18446744073709551615ull);
  EXPECT_EQ(ParseHandleDigits("00000000000000000000000000042"), 42u);
}

TEST(LaunchRequestFileName, PrefixAndSuffixExactly) {
  EXPECT_TRUE(IsLaunchRequestFileName(L"QV_Launch_.txt"));
  EXPECT_TRUE(IsLaunchRequestFileName(L"QV_Launch_chart 1.txt"));
  EXPECT_TRUE(IsLaunchRequestFileName(L"qv_launch_A.TXT"));
  // Names the directory pattern can also return through 8.3 aliases or long extensions.
  EXPECT_FALSE(IsLaunchRequestFileName(L"QV_Launch_a.txt~"));
  EXPECT_FALSE(IsLaunchRequestFileName(L"QV_Launch_a.txtold"));
  EXPECT_FALSE(IsLaunchRequestFileName(L"QV_LAUNC~1.TXT"));
  EXPECT_FALSE(IsLaunchRequestFileName(L"QV_Launch.txt"));
  EXPECT_FALSE(IsLaunchRequestFileName(L"QV_Launch_.tx"));
}

// Property cases: arbitrary bytes never break the parser, and what it hands on keeps the
// trimming rules, so a value can never end in the blanks or CR it promises to strip.
TEST(LaunchRequestFuzz, ArbitraryBytesKeepTheInvariants) {
  std::mt19937 random(20261207);
  static const char kBytes[] =
      "HWNDSYMBOLMODE=_ \t\r\n\x00\xff\xfe\xc3\xa9"
      "0123456789";
  const std::string alphabet(kBytes, sizeof kBytes - 1);
  for (int round = 0; round < 5000; ++round) {
    std::string body;
    const int length = static_cast<int>(random() % 120);
    for (int i = 0; i < length; ++i) {
      body.push_back(random() % 4 == 0 ? static_cast<char>(random() % 256)
                                       : alphabet[random() % alphabet.size()]);
    }
    const LaunchRequest r = ParseLaunchRequest(body);
    for (const std::string* v :
         {&r.handleText, &r.symbol, &r.interval, &r.theme, &r.userId, &r.mode}) {
      ASSERT_EQ(v->find('\n'), std::string::npos);
      if (!v->empty()) {
        ASSERT_NE(v->back(), ' ');
        ASSERT_NE(v->back(), '\t');
        ASSERT_NE(v->back(), '\r');
        ASSERT_NE(v->front(), ' ');
        ASSERT_NE(v->front(), '\t');
      }
    }
    const std::string digits = HandleDigits(r.handleText);
    ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);

    // Garbage before a proper line cannot hide it: the last HWND line decides.
    const LaunchRequest tail = ParseLaunchRequest(body + "\nHWND= 77\t\r\n");
    ASSERT_EQ(tail.handleText, "77");
  }
}

TEST(LaunchRequestFuzz, RequestCutAnywhereStillParses) {
  // A file read while the companion is still writing it: every prefix yields the values
  // complete so far, and never a value from the wrong key.
  const std::string full = "HWND=5678\r\nSYMBOL=XAUUSD\r\nMODE=HEADLESS_VPS\r\n";
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    const LaunchRequest r = ParseLaunchRequest(full.substr(0, cut));
    EXPECT_TRUE(std::string("5678").rfind(r.handleText, 0) == 0) << cut;
    EXPECT_TRUE(r.symbol == "NASDAQ:NDX" || std::string("XAUUSD").rfind(r.symbol, 0) == 0) << cut;
    EXPECT_TRUE(r.mode == "WORKSTATION" || std::string("HEADLESS_VPS").rfind(r.mode, 0) == 0)
        << cut;
  }
}

}  // namespace
