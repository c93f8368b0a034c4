#include <gtest/gtest.h>

#include "app/installer_command.h"
#include "app/role_selection.h"

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

TEST(Installer, OneInstallAtATimeAndOnlyAMicrosoftSignedBootstrapper) {
  const std::wstring p = BuildRuntimeInstallerParameters();
  const std::wstring prefix = L"-NoProfile -NonInteractive -WindowStyle Hidden -Command \"";
  ASSERT_EQ(p.rfind(prefix, 0), 0u);
  ASSERT_EQ(p.back(), L'"');
  const std::wstring script = p.substr(prefix.size(), p.size() - prefix.size() - 1);
  EXPECT_EQ(script.find(L'"'), std::wstring::npos) << "one double-quoted argument";
  const auto at = [&](const wchar_t* part) { return script.find(part); };
  // The lock comes first and is released last; the download is checked before it starts.
  ASSERT_NE(at(L"WaitOne(0)) { exit 0 }"), std::wstring::npos);
  ASSERT_NE(at(kRuntimeInstallMutexName), std::wstring::npos);
  ASSERT_NE(at(L"DownloadFile('https://go.microsoft.com/fwlink/p/?LinkId=2124703', $f)"),
            std::wstring::npos);
  ASSERT_NE(at(L"Get-AuthenticodeSignature -FilePath $f"), std::wstring::npos);
  ASSERT_NE(at(L"$s.Status -eq 'Valid'"), std::wstring::npos);
  ASSERT_NE(at(L"Start-Process -FilePath $f"), std::wstring::npos);
  EXPECT_LT(at(L"WaitOne"), at(L"DownloadFile"));
  EXPECT_LT(at(L"DownloadFile"), at(L"Get-AuthenticodeSignature"));
  EXPECT_LT(at(L"$s.Status -eq 'Valid'"), at(L"Start-Process"));
  EXPECT_GT(at(L"$m.ReleaseMutex()"), at(L"Start-Process"));
  // A single-quoted '$env:TEMP' would never expand: the file would land in the working folder.
  EXPECT_EQ(at(L"'$env:TEMP"), std::wstring::npos);
}

}  // namespace
