#include "testing/webview2-runtime/host_mapping.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestUrl, SplitsSchemeHostAndPathAndDropsQueryPortAndFragment) {
  RequestUrl u;
  ASSERT_TRUE(ParseRequestUrl("HTTPS://Data.Example:8443/a/b%20c.json?t=1#frag", &u));
  EXPECT_EQ(u.scheme, "https");
  EXPECT_EQ(u.host, "data.example");
  EXPECT_EQ(u.path, "/a/b%20c.json");
  ASSERT_TRUE(ParseRequestUrl("http://host.test", &u));
  EXPECT_EQ(u.path, "/");
  ASSERT_TRUE(ParseRequestUrl("https://host.test?x=/../../", &u));
  EXPECT_EQ(u.path, "/") << "the query never reaches the path";
  for (const char* bad : {"file:///C:/x", "data:text/html,x", "https:///x", "nothing"}) {
    EXPECT_FALSE(ParseRequestUrl(bad, &u)) << bad;
  }
}

TEST(MappedFilePath, DecodesEscapesAndNamesFilesInsideTheFolder) {
  const struct {
    const char* path;
    const char* file;
  } cases[] = {
      {"/QV_Snapshot.json", "QV_Snapshot.json"},
      {"/sub/dir/file%20name.txt", "sub\\dir\\file name.txt"},
      {"//double//slash", "double\\slash"},
      {"/./here.js", nullptr},
      {"/caf%C3%A9.html", "caf\xC3\xA9.html"},
      {"/", "index.html"},
      {"/chart/", "chart\\index.html"},
      {"/a%2Fb.txt", "a\\b.txt"},
      {"/name.with.dots.js", "name.with.dots.js"},
  };
  for (const auto& c : cases) {
    const auto got = MappedFilePath(c.path);
    if (c.file) {
      ASSERT_TRUE(got.has_value()) << c.path;
      EXPECT_EQ(*got, c.file) << c.path;
    } else {
      EXPECT_FALSE(got.has_value()) << c.path;
    }
  }
}

TEST(MappedFilePath, RefusesEveryWayOutOfTheFolder) {
  for (const char* path :
       {"/../secret.txt", "/a/../../b", "/%2e%2e/x", "/%2E%2E%2Fx", "/..%5Cx", "/a%5C..%5C..%5Cb",
        "/C:/Windows/win.ini", "/c%3A%5Cwindows", "/x%00.txt", "/%zz", "/trunc%4", "/.../x",
        "/.. /x", "/a/ . /b", "/con%7Cx", "/a*?.js", "/%3Cx%3E"}) {
    EXPECT_FALSE(MappedFilePath(path).has_value()) << path;
  }
}

TEST(ContentType, FollowsTheExtensionCaseInsensitively) {
  EXPECT_EQ(ContentTypeForPath("index.HTML"), "text/html; charset=utf-8");
  EXPECT_EQ(ContentTypeForPath("a\\b\\hud.js"), "text/javascript; charset=utf-8");
  EXPECT_EQ(ContentTypeForPath("QV_Snapshot.json"), "application/json; charset=utf-8");
  EXPECT_EQ(ContentTypeForPath("chart.png"), "image/png");
  EXPECT_EQ(ContentTypeForPath("photo.JPeG"), "image/jpeg");
  EXPECT_EQ(ContentTypeForPath("style.css"), "text/css; charset=utf-8");
  EXPECT_EQ(ContentTypeForPath("notes.txt"), "text/plain; charset=utf-8");
  EXPECT_EQ(ContentTypeForPath("blob.bin"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForPath("dir.d\\noextension"), "application/octet-stream")
      << "a dot in a folder name is not an extension";
}

TEST(ResponseHeaders, AlwaysForbidCachingAndOpenCorsOnlyWhenAllowed) {
  const std::string open = ResponseHeadersJson("image/png", true);
  EXPECT_NE(open.find(R"({"name":"Content-Type","value":"image/png"})"), std::string::npos);
  EXPECT_NE(open.find(R"({"name":"Cache-Control","value":"no-store"})"), std::string::npos);
  EXPECT_NE(open.find(R"({"name":"Access-Control-Allow-Origin","value":"*"})"), std::string::npos);
  const std::string closed = ResponseHeadersJson("text/plain", false);
  EXPECT_EQ(closed.find("Access-Control"), std::string::npos);
  EXPECT_NE(closed.find("no-store"), std::string::npos);
}

TEST(ExtraHosts, ParsesPairsLowerCasesHostsAndSkipsBrokenEntries) {
  const auto hosts = ParseExtraHosts(
      L"WWW.TradingView.com=C:\\fixtures\\chart;;=C:\\nohost;nofolder=;"
      L"plain;b.test=Z:\\tmp\\a=b");
  ASSERT_EQ(hosts.size(), 2u);
  EXPECT_EQ(hosts[0].first, L"www.tradingview.com");
  EXPECT_EQ(hosts[0].second, L"C:\\fixtures\\chart");
  EXPECT_EQ(hosts[1].first, L"b.test");
  EXPECT_EQ(hosts[1].second, L"Z:\\tmp\\a=b") << "only the first '=' separates";
  EXPECT_TRUE(ParseExtraHosts(L"").empty());
}

}  // namespace

TEST(WebResourceFilter, WildcardUriMatchesLikeWebView2) {
  EXPECT_TRUE(FilterUriMatches("https://data.example/*", "https://data.example/a.json"));
  EXPECT_TRUE(FilterUriMatches("https://data.example/*", "HTTPS://DATA.example/"));
  EXPECT_TRUE(FilterUriMatches("*", "https://any.test/x?y"));
  EXPECT_TRUE(FilterUriMatches("https://*.example/*.json", "https://a.b.example/c/d.json"));
  EXPECT_FALSE(FilterUriMatches("https://data.example/*", "https://data.example.evil.test/a"));
  EXPECT_FALSE(FilterUriMatches("https://data.example/*", "http://data.example/a"));
  EXPECT_FALSE(FilterUriMatches("https://data.example/a", "https://data.example/ab"));
  // '?' is a character of the URI, not a wildcard.
  EXPECT_FALSE(FilterUriMatches("https://d.example/a?b", "https://d.example/axb"));
  EXPECT_EQ(FetchPatternOf("https://d.example/a?b\\*"), "https://d.example/a\\?b\\\\*");
}

TEST(WebResourceFilter, ContextsAndHeaderLines) {
  EXPECT_EQ(ResourceContextOf("Document"), 1);
  EXPECT_EQ(ResourceContextOf("Image"), 3);
  EXPECT_EQ(ResourceContextOf("XHR"), 7);
  EXPECT_EQ(ResourceContextOf("Fetch"), 8);
  EXPECT_EQ(ResourceContextOf("CSPViolationReport"), 15);
  EXPECT_EQ(ResourceContextOf("Preflight"), 16);
  const auto headers =
      ParseHeaderLines("Content-Type: application/json\r\n: nameless\r\nX-A:  b c \r\nbad\r\n");
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].first, "Content-Type");
  EXPECT_EQ(headers[0].second, "application/json");
  EXPECT_EQ(headers[1].second, "b c");
  EXPECT_EQ(HeaderPairsJson(headers),
            "[{\"name\":\"Content-Type\",\"value\":\"application/json\"},"
            "{\"name\":\"X-A\",\"value\":\"b c\"}]");
}
