#include "overlay/message_source.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(MessageSource, OnlyChartSitePagesAndTheStudioPageAreOurs) {
  EXPECT_TRUE(IsTrustedMessageSource("https://www.tradingview.com/chart/?symbol=OANDA:XAUUSD"));
  EXPECT_TRUE(IsTrustedMessageSource("HTTPS://WWW.TradingView.com/"));
  EXPECT_TRUE(IsTrustedMessageSource("https://quorvale-data.example/headless.html"));
  EXPECT_TRUE(IsTrustedMessageSource("https://quorvale-data.example/headless.html?x=1#y"));
  const char* foreign[] = {
      "https://accounts.example/signin",
      "http://www.tradingview.com/chart/",             // not the site's https origin
      "https://www.tradingview.com.evil.test/chart/",  // a longer host
      "https://www.tradingview.com@evil.test/chart/",  // user information
      "https://www.tradingview.com:8443/chart/",
      "https://tradingview.com/chart/",
      "https://quorvale-data.example/QV_AIConfig.json",
      "https://quorvale-data.example/headless.html.evil",
      "https://quorvale-data.example/sub/headless.html",
      "about:blank",
      "data:text/html,<p>x</p>",
      "",
  };
  for (const char* url : foreign) EXPECT_FALSE(IsTrustedMessageSource(url)) << url;
  EXPECT_EQ(UrlOrigin("https://Host.Test:99/a?b"), "https://host.test:99");
  EXPECT_EQ(UrlOrigin("file:///C:/x"), "");
}

TEST(MessageSource, ASignedMessageNeedsTheWholeSecretAndItsSeparator) {
  const std::string secret = "0123456789abcdef0123456789abcdef";
  std::string message = "unchanged";
  ASSERT_TRUE(TakeSignedMessage(secret + ":TRADE:1,BUY,0.1,,,", secret, &message));
  EXPECT_EQ(message, "TRADE:1,BUY,0.1,,,");
  message = "unchanged";
  EXPECT_FALSE(TakeSignedMessage("TRADE:1,BUY,0.1,,,", secret, &message));
  EXPECT_FALSE(TakeSignedMessage(secret + "TRADE:1", secret, &message));
  EXPECT_FALSE(TakeSignedMessage(secret.substr(0, 31) + "0:TRADE:1", secret, &message));
  EXPECT_FALSE(TakeSignedMessage(secret + ":", secret, &message)) << "nothing after the secret";
  EXPECT_FALSE(TakeSignedMessage(":TRADE:1", "", &message)) << "no secret, no message";
  EXPECT_EQ(message, "unchanged");
}

TEST(MessageSource, TheHudScriptGetsItsSecretOnce) {
  const std::string hud =
      std::string("var s = '") + kPageSecretPlaceholder + "'; // " + kPageSecretPlaceholder;
  EXPECT_EQ(WithPageSecret(hud, "abc"), std::string("var s = 'abc'; // ") + kPageSecretPlaceholder);
}

}  // namespace
