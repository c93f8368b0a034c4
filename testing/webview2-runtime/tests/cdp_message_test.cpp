#include "testing/webview2-runtime/cdp_message.h"

#include <gtest/gtest.h>

#include "testing/webview2-runtime/browser_launch.h"
#include "testing/webview2-runtime/frame_tracker.h"

namespace {

TEST(CdpMessage, TellsRepliesErrorsAndEventsApart) {
  CdpIncoming m;
  ASSERT_TRUE(ParseCdpMessage(R"({"id":7,"result":{"targetId":"T1"},"sessionId":"S"})", &m));
  EXPECT_TRUE(m.isReply);
  EXPECT_EQ(m.id, 7);
  EXPECT_FALSE(m.failed);
  EXPECT_EQ(m.result.StringAt("targetId"), "T1");
  EXPECT_EQ(m.sessionId, "S");

  ASSERT_TRUE(ParseCdpMessage(R"({"id":8,"error":{"code":-32000,"message":"No target"}})", &m));
  EXPECT_TRUE(m.isReply);
  EXPECT_TRUE(m.failed);
  EXPECT_EQ(m.error, "No target");

  ASSERT_TRUE(ParseCdpMessage(
      R"({"method":"Runtime.bindingCalled","params":{"name":"b","payload":"p"},"sessionId":"S2"})",
      &m));
  EXPECT_FALSE(m.isReply);
  EXPECT_EQ(m.method, "Runtime.bindingCalled");
  EXPECT_EQ(m.params.StringAt("payload"), "p");
  EXPECT_EQ(m.sessionId, "S2");

  for (const char* bad : {"[]", "{}", R"({"method":3})", "not json"}) {
    EXPECT_FALSE(ParseCdpMessage(bad, &m)) << bad;
  }
}

// CallDevToolsProtocolMethod's handler gets the result object, or the error object Chromium
// sent; a reply made up for a broken link has neither.
TEST(CdpMessage, MethodOutcomesKeepTheResultOrTheErrorObjectAsSent) {
  CdpIncoming m;
  ASSERT_TRUE(ParseCdpMessage(R"({"id":3,"result":{"identifier":"1","n":1.50}})", &m));
  DevToolsMethodOutcome o = OutcomeOfMethodReply(m);
  EXPECT_EQ(o.kind, DevToolsMethodOutcome::Kind::kResult);
  EXPECT_EQ(o.json, R"({"identifier":"1","n":1.50})");
  ASSERT_TRUE(ParseCdpMessage(R"({"id":4,"result":{}})", &m));
  EXPECT_EQ(OutcomeOfMethodReply(m).json, "{}");
  ASSERT_TRUE(ParseCdpMessage(R"({"id":5})", &m));
  EXPECT_EQ(OutcomeOfMethodReply(m).json, "{}") << "a reply without result is an empty one";

  ASSERT_TRUE(ParseCdpMessage(
      R"({"id":6,"error":{"code":-32601,"message":"'Foo.bar' wasn't found"}})", &m));
  o = OutcomeOfMethodReply(m);
  EXPECT_EQ(o.kind, DevToolsMethodOutcome::Kind::kProtocolError);
  EXPECT_EQ(o.json, R"({"code":-32601,"message":"'Foo.bar' wasn't found"})");

  CdpIncoming broken;
  broken.isReply = broken.failed = true;
  broken.error = "DevTools link closed";
  o = OutcomeOfMethodReply(broken);
  EXPECT_EQ(o.kind, DevToolsMethodOutcome::Kind::kNoAnswer);
  EXPECT_EQ(o.json, "");
}

TEST(CdpMessage, CommandsCarryIdParamsAndOptionalSession) {
  EXPECT_EQ(BuildCdpCommand(1, "Browser.close", "", ""),
            R"({"id":1,"method":"Browser.close","params":{}})");
  EXPECT_EQ(
      BuildCdpCommand(2, "Page.navigate", R"({"url":"https://a.test/"})", "S\"1"),
      R"({"id":2,"method":"Page.navigate","params":{"url":"https://a.test/"},"sessionId":"S\"1"})");
}

TEST(ScriptResult, GivesTheValueAsJsonAndNullWhereJavaScriptHasNone) {
  const struct {
    const char* evaluate;
    const char* json;
  } cases[] = {
      {R"({"result":{"type":"object","value":{"a":[1,"x"]}}})", R"({"a":[1,"x"]})"},
      {R"({"result":{"type":"number","value":42}})", "42"},
      {R"({"result":{"type":"string","value":"he said \"hi\""}})", R"("he said \"hi\"")"},
      {R"({"result":{"type":"undefined"}})", "null"},
      {R"({"result":{"type":"number","unserializableValue":"NaN"}})", "null"},
      {R"({"result":{"type":"object","subtype":"error"},"exceptionDetails":{"text":"Uncaught"}})",
       "null"},
      {R"({"result":{"type":"object","subtype":"promise","value":{}}})", "{}"},
      {R"({})", "null"},
  };
  for (const auto& c : cases) {
    JsonValue v;
    ASSERT_TRUE(ParseJson(c.evaluate, &v)) << c.evaluate;
    EXPECT_EQ(ScriptResultJson(v), c.json) << c.evaluate;
  }
}

TEST(CountOtherPages, CountsOnlyAttachedPagesOtherThanOurOwn) {
  JsonValue v;
  ASSERT_TRUE(ParseJson(R"({"targetInfos":[
      {"targetId":"A","type":"page","attached":true},{"targetId":"B","type":"page","attached":true},
      {"targetId":"S","type":"page","attached":false},
      {"targetId":"W","type":"service_worker","attached":true},
      {"targetId":"X","type":"browser_ui","attached":true}]})",
                        &v));
  EXPECT_EQ(CountOtherPages(v, "A"), 1);
  EXPECT_EQ(CountOtherPages(v, "none"), 2) << "the unattached start page keeps nothing open";
  ASSERT_TRUE(ParseJson(R"({"targetInfos":[{"targetId":"A","type":"page","attached":true},
      {"targetId":"D","type":"page","attached":false}]})",
                        &v));
  EXPECT_EQ(CountOtherPages(v, "A"), 0) << "a page left by a process that died";
}

TEST(FrameTracker, NamesTheTopDocumentOnlyForItsOwnMainWorld) {
  FrameTracker t;
  t.FrameNavigated("TOP", "", "https://chart.test/a");
  t.FrameNavigated("CHILD", "TOP", "https://ads.test/frame");
  t.ContextCreated(1, "TOP", true);
  t.ContextCreated(2, "CHILD", true);
  t.ContextCreated(3, "TOP", false);  // an isolated world of the top document
  EXPECT_EQ(t.TopLevelSource(1).value_or(""), "https://chart.test/a");
  EXPECT_FALSE(t.TopLevelSource(2)) << "a child frame's post is not the view's message";
  EXPECT_FALSE(t.TopLevelSource(3));
  EXPECT_FALSE(t.TopLevelSource(99));
  // A navigation of the top frame: old contexts go, the source follows the new document.
  t.ContextsCleared();
  t.FrameNavigated("TOP", "", "https://other.test/b");
  EXPECT_FALSE(t.TopLevelSource(1));
  t.ContextCreated(4, "TOP", true);
  EXPECT_EQ(t.TopLevelSource(4).value_or(""), "https://other.test/b");
  t.ContextDestroyed(4);
  EXPECT_FALSE(t.TopLevelSource(4));
}

TEST(DevToolsActivePort, NeedsACompletePortLineAndABrowserPath) {
  DevToolsEndpoint e;
  ASSERT_TRUE(ParseDevToolsActivePort("39123\n/devtools/browser/0f1e-22\n", &e));
  EXPECT_EQ(e.port, 39123);
  EXPECT_EQ(e.path, "/devtools/browser/0f1e-22");
  ASSERT_TRUE(ParseDevToolsActivePort("9222\r\n/devtools/browser/x", &e));
  EXPECT_EQ(e.port, 9222);
  for (const char* partial :
       {"", "391", "39123", "39123\n", "39123\n/json", "0\n/devtools/browser/x",
        "70000\n/devtools/browser/x", "12a\n/devtools/browser/x", "123456\n/devtools/browser/x"}) {
    EXPECT_FALSE(ParseDevToolsActivePort(partial, &e)) << partial;
  }
}

TEST(ChromiumCommandLine, QuotesSoArgumentsSurviveWindowsParsing) {
  const std::vector<std::wstring> args = ChromiumArguments(L"/tmp/with space/ud", false, {});
  EXPECT_EQ(args.front(), L"--headless");
  EXPECT_EQ(args.back(), L"about:blank");
  EXPECT_NE(std::find(args.begin(), args.end(), L"--remote-debugging-port=0"), args.end());
  EXPECT_NE(std::find(args.begin(), args.end(), L"--user-data-dir=/tmp/with space/ud"), args.end());
  EXPECT_EQ(ChromiumArguments(L"/u", true, {L"--x"}).front(), L"--no-sandbox") << "headful";

  EXPECT_EQ(BuildCommandLine(L"Z:\\usr\\bin\\chromium", {L"--a", L"b c", L"q\"t", L"end\\", L""}),
            L"Z:\\usr\\bin\\chromium --a \"b c\" \"q\\\"t\" end\\ \"\"");
  EXPECT_EQ(BuildCommandLine(L"p", {L"x y\\"}), L"p \"x y\\\\\"")
      << "a trailing backslash before the closing quote is doubled";
  EXPECT_EQ(SplitArguments(L" --a  \"--b=x y\"\t--c "),
            (std::vector<std::wstring>{L"--a", L"--b=x y", L"--c"}));
}

TEST(BrowserMutexName, IsTheSameForEverySpellingOfOneFolder) {
  const std::wstring a = BrowserMutexName(L"C:\\Users\\T\\AppData\\Profile");
  EXPECT_EQ(a, BrowserMutexName(L"c:/users/t/appdata/profile/"));
  EXPECT_NE(a, BrowserMutexName(L"C:\\Users\\T\\AppData\\Profile2"));
  EXPECT_EQ(a.rfind(L"Local\\", 0), 0u);
  EXPECT_EQ(a.find(L'\\', 6), std::wstring::npos) << "no further backslash in a kernel name";
}

}  // namespace
