#include <gtest/gtest.h>

#include "host/debug_log.h"

namespace {

std::tm Time(int year, int month, int day, int wday, int h, int m, int s) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_wday = wday;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return t;
}

TEST(AsctimeStamp, MatchesTheCLibraryForm) {
  EXPECT_EQ(FormatAsctimeStamp(Time(2026, 12, 7, 1, 20, 5, 9)), "Mon Dec  7 20:05:09 2026");
  EXPECT_EQ(FormatAsctimeStamp(Time(1973, 9, 16, 0, 1, 3, 52)), "Sun Sep 16 01:03:52 1973");
  EXPECT_EQ(FormatAsctimeStamp(Time(2026, 12, 7, 1, 20, 5, 9)).size(), 24u);
}

TEST(AsctimeStamp, SixthOfTheMonthHasTwoBlanksBeforeTheDigit) {
  EXPECT_EQ(FormatAsctimeStamp(Time(2026, 6, 6, 6, 0, 0, 0)), "Sat Jun  6 00:00:00 2026");
}

TEST(AsctimeStamp, DamagedFieldsNeverReadOutsideTheNameTables) {
  std::tm broken = Time(2026, 1, 1, 4, 0, 0, 0);
  broken.tm_wday = 9;
  broken.tm_mon = -3;
  EXPECT_EQ(FormatAsctimeStamp(broken).substr(0, 7), "Sat Jan");
}

TEST(LogEntry, MessageKeepsItsLineFeedsAndGetsOneLineEnd) {
  // Foreign text never starts an entry of its own.
  EXPECT_EQ(FormatLogEntry("Mon Dec  7 20:05:09 2026", "first\n[Mon Dec  7] forged\r\t\x7f"),
            "[Mon Dec  7 20:05:09 2026] first?[Mon Dec  7] forged???\n");
  EXPECT_EQ(FormatLogEntry("S", ""), "[S] \n");
  EXPECT_EQ(FormatLogEntry("S", "caf\xC3\xA9"), "[S] caf\xC3\xA9\n") << "UTF-8 kept";
  // A flood is cut at the bound, never inside a UTF-8 sequence.
  const std::string flood = std::string(kMaxLogMessageBytes - 1, 'x') + "\xC3\xA9" + "tail";
  const std::string entry = FormatLogEntry("S", flood);
  EXPECT_EQ(entry, "[S] " + std::string(kMaxLogMessageBytes - 1, 'x') + " [cut]\n");
  EXPECT_EQ(FormatLogEntry("S", std::string(kMaxLogMessageBytes, 'y')),
            "[S] " + std::string(kMaxLogMessageBytes, 'y') + "\n");
}

TEST(CrashLine, CodeAndAddressInUpperCaseFixedWidthHex) {
  EXPECT_EQ(FormatCrashLine(0xC0000005u, 0x7ff6a1b2c3d4ull),
            "FATAL CRASH / EXCEPTION: Code=0xC0000005 Address=00007FF6A1B2C3D4");
  EXPECT_EQ(FormatCrashLine(0, 0),
            "FATAL CRASH / EXCEPTION: Code=0x00000000 Address=0000000000000000");
}

}  // namespace
