#include "overlay/navigation_request.h"

#include <gtest/gtest.h>

namespace {

TEST(NavigationRequest, TickerComparisonIgnoresExchangeAndCase) {
  EXPECT_FALSE(IsNewTicker(L"OANDA:XAUUSD", L"FX:xauusd"));
  EXPECT_FALSE(IsNewTicker(L"XAUUSD", L"OANDA:XAUUSD"));
  EXPECT_FALSE(IsNewTicker(L"NASDAQ:NDX", L"NASDAQ:"));  // empty ticker changes nothing
  EXPECT_TRUE(IsNewTicker(L"NASDAQ:NDX", L"TVC:DJI"));
  EXPECT_TRUE(IsNewTicker(L"NDX", L"NDX2"));
  EXPECT_EQ(TrimRequestText(L" \t\r\nTVC:DJI\n"), L"TVC:DJI");
  EXPECT_EQ(TrimRequestText(L"\n"), L"");
}

// Fast symbol changes can leave the page on an older request; only that is repaired, after
// the page had time to arrive, a bounded number of times.
TEST(NavigationRequest, PageLeftOnAnOlderRequestIsSentOnToTheLast) {
  constexpr std::uint64_t settle = NavigationFollowUp::kSettleMs;
  NavigationFollowUp f;
  f.Navigated("a", 0);
  EXPECT_FALSE(f.Pending());
  f.Navigated("b", 100);
  f.Navigated("c", 200);
  EXPECT_TRUE(f.Check("b", 200 + settle - 1).url.empty()) << "a slow page is given time";
  EXPECT_EQ(f.Check("b", 200 + settle).url, "c");
  f.Navigated("c", 200 + settle);  // the host's repair
  EXPECT_TRUE(f.Check("a", 200 + settle + 10).url.empty()) << "the repair is given time too";
  EXPECT_TRUE(f.Check("c", 200 + settle + 20).url.empty());
  EXPECT_FALSE(f.Pending()) << "arrived: the older requests are forgotten";

  // The site's redirect or the trader's own change is never undone.
  f.Navigated("d", 10000);
  EXPECT_TRUE(f.Check("https://elsewhere/", 10000 + settle).url.empty());
  EXPECT_FALSE(f.Pending());

  // A page that keeps falling back is left after the retries, and says so once.
  f.Navigated("e", 20000);
  std::uint64_t now = 20000;
  int repairs = 0;
  for (int i = 0; i < 10; ++i) {
    now += settle;
    const NavigationFollowUp::Repair r = f.Check("d", now);
    if (!r.url.empty()) {
      ++repairs;
      f.Navigated(r.url, now);
    }
    if (r.gaveUp) break;
  }
  EXPECT_EQ(repairs, NavigationFollowUp::kMostRetries);
  EXPECT_FALSE(f.Pending());
}

}  // namespace
