#include "app/startup.h"

#include <gtest/gtest.h>

namespace {

TEST(Role, DaemonSwitchesAreExactAndCaseSensitive) {
  EXPECT_EQ(SelectRole({L"qv.exe"}), ProcessRole::kDaemon);
  EXPECT_EQ(SelectRole({}), ProcessRole::kDaemon);
  for (const wchar_t* sw : {L"--daemon", L"-daemon", L"/daemon", L"daemon", L"-d"}) {
    EXPECT_EQ(SelectRole({L"qv.exe", sw, L"ignored"}), ProcessRole::kDaemon) << sw;
  }
  for (const wchar_t* other : {L"--Daemon", L"-D", L"daemon ", L"--daemons", L"12345"}) {
    EXPECT_EQ(SelectRole({L"qv.exe", other}), ProcessRole::kChild) << other;
  }
}

TEST(ChildValues, MissingTrailingArgumentsKeepDefaults) {
  const LaunchValues v = ParseChildLaunchValues({L"qv.exe", L"4242"});
  EXPECT_EQ(v.chartWindow, 4242u);
  EXPECT_EQ(v.symbol, L"NASDAQ:NDX");
  EXPECT_EQ(v.interval, L"D");
  EXPECT_EQ(v.theme, L"dark");
  EXPECT_EQ(v.userId, L"MQL5_MARKET_EDITION");
  EXPECT_EQ(v.mode, L"WORKSTATION");
}

TEST(ChildValues, SymbolIsMappedOtherValuesTakenUnchanged) {
  const LaunchValues v = ParseChildLaunchValues(
      {L"qv.exe", L"7", L"GOLD", L"60", L"light", L"user 1", L"headless_vps", L"extra"});
  EXPECT_EQ(v.symbol, L"OANDA:XAUUSD");
  EXPECT_EQ(v.interval, L"60");
  EXPECT_EQ(v.theme, L"light");
  EXPECT_EQ(v.userId, L"user 1");
  EXPECT_EQ(v.mode, L"headless_vps");
  EXPECT_FALSE(IsStudioMode(v.mode));  // lower case runs as a chart overlay
  EXPECT_TRUE(IsStudioMode(L"HEADLESS_VPS"));
}

}  // namespace
