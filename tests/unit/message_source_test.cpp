#include "overlay/message_source.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "overlay/data_host_request.h"

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

constexpr const char* kData = "https://quorvale-data.example";
constexpr const char* kChart = "https://www.tradingview.com";

DataHostAnswer Ask(const std::string& path, const std::string& origin, const std::string& site = "",
                   const std::string& method = "GET",
                   DataHostContext context = DataHostContext::kRead, const std::string& dest = "") {
  DataHostRequest r;
  r.method = method;
  r.url = std::string(kData) + path;
  r.origin = origin;
  r.secFetchSite = site;
  r.secFetchDest = dest;
  r.context = context;
  return DecideDataHostRequest(r, kChart, kData);
}

TEST(DataHostRequest, TheHudOnTheChartSiteReadsItsFilesWithCorsToThatOriginOnly) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"QV_OpenPositions.json", "application/json; charset=utf-8"},
      {"QV_AICopilotData.json", "application/json; charset=utf-8"},
      {"QV_AICopilotData_198432.json", "application/json; charset=utf-8"},
      {"QV_AICopilotChart.png", "image/png"},
      {"QV_AICopilotChart_198432.png", "image/png"},
      {"QV_COTData.json", "application/json; charset=utf-8"},
      {"QV_ATClaim_XAUUSD.m_1733664000.txt", "text/plain; charset=utf-8"},
  };
  for (const auto& [file, type] : files) {
    const DataHostAnswer a = Ask("/" + file + "?t=1", "https://www.tradingview.com", "cross-site");
    ASSERT_EQ(a.verdict, DataHostVerdict::Serve) << file;
    EXPECT_EQ(a.fileName, file);
    EXPECT_FALSE(a.studioPage);
    EXPECT_EQ(a.contentType, type) << file;
    EXPECT_EQ(a.allowOrigin, kChart);
    EXPECT_GT(a.maxBytes, 0u);
    const std::string headers = DataHostResponseHeaders(a, a.verdict);
    EXPECT_NE(headers.find("Access-Control-Allow-Origin: https://www.tradingview.com\r\n"),
              std::string::npos)
        << headers;
    EXPECT_NE(headers.find("Cache-Control: no-store"), std::string::npos);
    EXPECT_EQ(headers.find('*'), std::string::npos) << headers;
  }
  // The settings file held every provider key and was served to the chart origin (the
  // review's S4): the HUD gets settings and keys through its channel, and the file is no
  // longer served to anyone.
  for (const char* origin : {kChart, kData, ""}) {
    EXPECT_EQ(Ask("/QV_AIConfig.json", origin).verdict, DataHostVerdict::NotFound) << origin;
  }
  // Positions and pictures get room, never unbounded.
  EXPECT_LE(Ask("/QV_AICopilotChart.png", kChart).maxBytes, 16u * 1024 * 1024);
  // A missing file still answers the HUD readably (404 with its CORS header).
  DataHostAnswer missing = Ask("/QV_OpenPositions.json", kChart);
  EXPECT_NE(DataHostResponseHeaders(missing, DataHostVerdict::NotFound)
                .find("Access-Control-Allow-Origin: https://www.tradingview.com"),
            std::string::npos);
  EXPECT_EQ(DataHostStatus(DataHostVerdict::NotFound), 404);
  // HEAD gets headers only; a preflight from the chart site is answered, others refused.
  EXPECT_TRUE(Ask("/QV_COTData.json", kChart, "", "HEAD").headOnly);
  const DataHostAnswer preflight = Ask("/QV_COTData.json", kChart, "", "OPTIONS");
  EXPECT_EQ(preflight.verdict, DataHostVerdict::Preflight);
  EXPECT_EQ(DataHostStatus(preflight.verdict), 204);
  EXPECT_NE(DataHostResponseHeaders(preflight, preflight.verdict).find("GET, HEAD"),
            std::string::npos);
  EXPECT_EQ(Ask("/QV_COTData.json", "https://evil.test", "", "OPTIONS").verdict,
            DataHostVerdict::Forbidden);
  EXPECT_EQ(Ask("/QV_COTData.json", kChart, "", "POST").verdict, DataHostVerdict::Forbidden);
  EXPECT_EQ(Ask("/QV_COTData.json", kChart, "", "PUT").verdict, DataHostVerdict::Forbidden);
}

TEST(DataHostRequest, OtherOriginsAndForeignLoadsAreRefused) {
  const char* origins[] = {
      "https://widget.example",
      "https://accounts.example",
      "null",
      "http://www.tradingview.com",
      "https://www.tradingview.com.evil.test",
      "https://tradingview.com",
      "https://www.tradingview.com:8443",
      "https://quorvale-data.example:444",
  };
  for (const char* origin : origins) {
    for (const char* file : {"/QV_COTData.json", "/QV_OpenPositions.json", "/headless.html"}) {
      const DataHostAnswer a = Ask(file, origin, "cross-site");
      EXPECT_EQ(a.verdict, DataHostVerdict::Forbidden) << origin << file;
      EXPECT_EQ(DataHostStatus(a.verdict), 403);
      EXPECT_EQ(DataHostResponseHeaders(a, a.verdict).find("Access-Control-Allow-Origin"),
                std::string::npos);
    }
  }
  // Bridge files are read, never shown as a document (a link or a frame navigating there)
  // nor loaded into a page as a script, style sheet or image, Origin or not.
  for (const DataHostContext context :
       {DataHostContext::kDocument, DataHostContext::kImage, DataHostContext::kOther}) {
    for (const char* origin : {"", kChart}) {
      for (const char* file : {"/QV_COTData.json", "/QV_AICopilotChart.png"}) {
        EXPECT_EQ(Ask(file, origin, "", "GET", context).verdict, DataHostVerdict::Forbidden)
            << file << origin << static_cast<int>(context);
      }
    }
  }
  EXPECT_EQ(Ask("/QV_COTData.json", "", "none").verdict, DataHostVerdict::Forbidden);
  EXPECT_EQ(Ask("/QV_COTData.json", "", "", "GET", DataHostContext::kRead, "iframe").verdict,
            DataHostVerdict::Forbidden);
}

// The host may not see Origin at all (WebView2 leaves out headers the network stack adds).
// Fault guarded: without Origin the chart page's reads got no CORS header, so every HUD read
// failed in the browser. Such a read may be the chart site's and is answered to it alone; a
// foreign page that asked can still not read it, as the browser checks the header.
TEST(DataHostRequest, AReadWithoutOriginIsAnsweredToTheChartSiteAlone) {
  for (const char* site : {"", "cross-site", "same-site", "same-origin"}) {
    for (const DataHostContext context : {DataHostContext::kRead, DataHostContext::kUnknown}) {
      const DataHostAnswer a = Ask("/QV_OpenPositions.json", "", site, "GET", context);
      ASSERT_EQ(a.verdict, DataHostVerdict::Serve) << site;
      EXPECT_EQ(a.allowOrigin, kChart) << site;
      const std::string headers = DataHostResponseHeaders(a, a.verdict);
      EXPECT_NE(
          headers.find("Access-Control-Allow-Origin: https://www.tradingview.com\r\nVary: Origin"),
          std::string::npos)
          << headers;
    }
  }
  // A file missing at read time still answers the HUD readably; a preflight is answered.
  EXPECT_NE(DataHostResponseHeaders(Ask("/QV_COTData.json", ""), DataHostVerdict::NotFound)
                .find("Access-Control-Allow-Origin: https://www.tradingview.com"),
            std::string::npos);
  EXPECT_EQ(Ask("/QV_COTData.json", "", "", "OPTIONS").verdict, DataHostVerdict::Preflight);
  // An unlisted name is no file of ours for anyone: no CORS header to read the 404 by.
  EXPECT_EQ(DataHostResponseHeaders(Ask("/QV_TelegramConfig.json", ""), DataHostVerdict::NotFound)
                .find("Access-Control"),
            std::string::npos);
}

TEST(DataHostRequest, TheStudioPageAndItsOwnReadsWithoutOrigin) {
  // The studio page's navigation (none, or no metadata at all) is served from memory.
  for (const char* site : {"", "none", "same-origin"}) {
    const DataHostAnswer page =
        Ask("/headless.html", "", site, "GET", DataHostContext::kDocument, "document");
    ASSERT_EQ(page.verdict, DataHostVerdict::Serve) << site;
    EXPECT_TRUE(page.studioPage);
    EXPECT_TRUE(page.fileName.empty());
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_TRUE(page.allowOrigin.empty());
  }
  // Its same-origin reads carry no Origin (GET); the chart site's header they get instead is
  // ignored for a same-origin read. One that names the data host's origin gets none.
  for (const char* site : {"", "same-origin"}) {
    EXPECT_EQ(Ask("/QV_COTData.json", "", site).verdict, DataHostVerdict::Serve) << site;
  }
  const DataHostAnswer own = Ask("/QV_COTData.json", kData, "same-origin");
  EXPECT_EQ(own.verdict, DataHostVerdict::Serve);
  EXPECT_EQ(DataHostResponseHeaders(own, own.verdict).find("Access-Control"), std::string::npos);
  EXPECT_EQ(Ask("/QV_COTData.json", kData, "", "OPTIONS").verdict, DataHostVerdict::Forbidden);
  // The page's icon is an image (or whatever else the browser calls it), never a document.
  for (const DataHostContext context : {DataHostContext::kImage, DataHostContext::kOther}) {
    EXPECT_EQ(Ask("/quorvale.ico", "", "same-origin", "GET", context, "image").contentType,
              "image/x-icon");
  }
  EXPECT_EQ(Ask("/quorvale.ico", "", "", "GET", DataHostContext::kDocument).verdict,
            DataHostVerdict::Forbidden);
}

TEST(DataHostRequest, OnlyListedNamesAndNoPathEscapes) {
  const char* unlisted[] = {
      "/QV_TelegramConfig.json",
      "/QV_TradeSignal.csv",
      "/QV_Protocol.txt",
      "/QV_EvalRequest.txt",
      "/QV_AIStatus.json",
      "/QV_TVSync.csv",
      "/debug.log",
      "/",
      "/favicon.ico",
      "/qv_aiconfig.json",
      "/QV_AICopilotData_.json",
      "/QV_AICopilotData_0123.json",
      "/QV_AICopilotData_12x.json",
      "/QV_AICopilotChart_-1.png",
      "/QV_ATClaim_XAUUSD.txt",
      "/QV_ATClaim__1.txt",
      "/QV_ATClaim_A B_1.txt",
      "/headless.html.bak",
  };
  for (const char* path : unlisted) {
    EXPECT_EQ(Ask(path, kChart).verdict, DataHostVerdict::NotFound) << path;
  }
  const char* escapes[] = {
      "/../QV_AIConfig.json",       "/..%2FQV_AIConfig.json", "/%2e%2e/QV_AIConfig.json",
      "/%2E%2E%5CQV_AIConfig.json", "/..\\QV_AIConfig.json",  "/sub\\..\\QV_AIConfig.json",
      "/%5cQV_AIConfig.json",       "/C:/Windows/win.ini",    "//server/share/x.json",
      "/QV_AIConfig.json%00.png",   "/sub/QV_AIConfig.json",  "/QV_AIConfig.json::$DATA",
      "/QV_ATClaim_.._1.txt",       "/QV_AI%43onfig.json",
  };
  for (const char* path : escapes) {
    EXPECT_EQ(Ask(path, kChart).verdict, DataHostVerdict::Forbidden) << path;
  }
  std::string nul = "/QV_COTData.json";
  nul.insert(4, 1, '\0');
  EXPECT_EQ(Ask(nul, kChart).verdict, DataHostVerdict::Forbidden);
  // Another host than the data host names no file of ours.
  DataHostRequest elsewhere;
  elsewhere.method = "GET";
  elsewhere.url = "https://quorvale-data.example.evil.test/QV_AIConfig.json";
  elsewhere.origin = kChart;
  EXPECT_EQ(DecideDataHostRequest(elsewhere, kChart, kData).verdict, DataHostVerdict::NotFound);
}

}  // namespace
