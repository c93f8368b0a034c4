#include "overlay/page_scripts.h"

#include <gtest/gtest.h>
#include <string>

namespace {

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
