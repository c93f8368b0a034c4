#include <gtest/gtest.h>

#include "overlay/navigation_request.h"
#include "overlay/page_scripts.h"
#include "overlay/window_layout.h"

namespace {

TEST(OverlayGeometry, EmptyChartAreaFallsBackTo800By600) {
  const WindowRect r = OverlayRect(0, -4);
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.height, 600);
  EXPECT_EQ(OverlayRect(1280, 0).width, 1280);
  EXPECT_EQ(OverlayRect(1280, 0).height, 600);
}

TEST(OverlayGeometry, StudioWindowSizeAndCentring) {
  const WindowRect small = StudioRect(1024, 768);
  EXPECT_EQ(small.width, 964);
  EXPECT_EQ(small.height, 708);
  EXPECT_EQ(small.x, 30);
  EXPECT_EQ(small.y, 30);
  const WindowRect big = StudioRect(1920, 1080);
  EXPECT_EQ(big.width, 960);
  EXPECT_EQ(big.height, 720);
  EXPECT_EQ(big.x, 480);
  EXPECT_EQ(big.y, 180);
  const WindowRect tiny = StudioRect(40, 30);  // negative size would centre off screen
  EXPECT_EQ(tiny.x, 30);
  EXPECT_EQ(tiny.y, 30);
}

TEST(OverlayLook, OnlyExactLightThemeIsLight) {
  EXPECT_EQ(BackgroundForTheme(L"light").r, 245);
  EXPECT_EQ(BackgroundForTheme(L"Light").r, 14);
  EXPECT_EQ(BackgroundForTheme(L"dark").b, 28);
}

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

TEST(PageAddresses, ChartPageCarriesEveryValueWhole) {
  EXPECT_EQ(BuildChartPageUrl("OANDA:XAUUSD", "60", "light"),
            "https://www.tradingview.com/chart/?symbol=OANDA:XAUUSD&interval=60&theme=light");
  // Broker symbols with a fragment mark, a parameter separator, a plus or a blank.
  EXPECT_EQ(BuildChartPageUrl("US30#", "D", "dark"),
            "https://www.tradingview.com/chart/?symbol=US30%23&interval=D&theme=dark");
  EXPECT_EQ(
      BuildChartPageUrl("A&theme=x+y z", "D", "dark"),
      "https://www.tradingview.com/chart/?symbol=A%26theme%3Dx%2By%20z&interval=D&theme=dark");
  EXPECT_EQ(BuildChartPageUrl("CME_MINI:ES1!", "D", "dark"),
            "https://www.tradingview.com/chart/?symbol=CME_MINI:ES1!&interval=D&theme=dark");
  EXPECT_EQ(VirtualDataUrl("headless.html"), "https://quorvale-data.example/headless.html");
}

TEST(PageScripts, StudioPageCarriesTitleIconAndBodyClass) {
  const std::string html = BuildStudioPageHtml();
  EXPECT_NE(
      html.find("<title>Quorvale AI Copilot Studio \xE2\x80\x94 Institutional Sentinel</title>"),
      std::string::npos);
  EXPECT_NE(html.find("href=\"https://quorvale-data.example/quorvale.ico\""), std::string::npos);
  EXPECT_NE(html.find("<body class=\"qv-studio-page\"></body>"), std::string::npos);
  EXPECT_NE(html.find("background: #0b0e17; color: #e0e3eb;"), std::string::npos);
}

}  // namespace
