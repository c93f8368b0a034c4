#include "overlay/hud_channel.h"

#include <gtest/gtest.h>
#include <string>

namespace {

JsonValue Parse(const std::string& text) {
  JsonValue v;
  EXPECT_TRUE(ParseJson(text, &v)) << text;
  return v;
}

JsonValue Navigated(const std::string& frame, const std::string& url,
                    const std::string& parent = "") {
  return Parse(R"({"frame":{"id":")" + frame + R"(","url":")" + url + "\"" +
               (parent.empty() ? "" : R"(,"parentId":")" + parent + "\"") + "}}");
}

JsonValue Created(long long id, const std::string& name, const std::string& frame,
                  const std::string& origin, const std::string& type = "isolated") {
  return Parse(R"({"context":{"id":)" + std::to_string(id) + R"(,"name":")" + name +
               R"(","origin":")" + origin + R"(","auxData":{"isDefault":)" +
               (type == "default" ? "true" : "false") + R"(,"type":")" + type + R"(","frameId":")" +
               frame + R"("}}})");
}

JsonValue Called(long long context, const std::string& payload,
                 const std::string& name = "__qvHost") {
  JsonValue v = JsonObject();
  v.Set("name", JsonString(name));
  v.Set("payload", JsonString(payload));
  v.Set("executionContextId", JsonNumber(std::to_string(context)));
  return v;
}

constexpr const char* kChart = "https://www.tradingview.com/chart/?symbol=OANDA:XAUUSD";

// The chart page with the HUD's world (7), the page's own world (6), a same-origin frame's
// HUD world (9) and a widget frame of another origin (11).
HudChannel ChartPage() {
  HudChannel c;
  c.FrameNavigated(Navigated("MAIN", kChart));
  c.ContextCreated(Created(6, "", "MAIN", "https://www.tradingview.com", "default"));
  c.ContextCreated(Created(7, "quorvale_hud", "MAIN", "https://www.tradingview.com"));
  c.FrameNavigated(Navigated("F1", "https://www.tradingview.com/embed", "MAIN"));
  c.ContextCreated(Created(9, "quorvale_hud", "F1", "https://www.tradingview.com"));
  c.FrameNavigated(Navigated("F2", "https://widgets.example/frame.html", "MAIN"));
  c.ContextCreated(Created(11, "quorvale_hud", "F2", "https://widgets.example"));
  return c;
}

using Kind = BindingVerdict::Kind;

// Only the HUD's world of the main frame of a workspace document may speak for the trader:
// the page's own scripts, its frames and other bindings are dropped (the review's S1-S3
// were all page scripts driving the host through the HUD's realm).
TEST(HudChannel, TakesOnlyTheHudWorldOfTheMainFrameOnAWorkspaceDocument) {
  const HudChannel c = ChartPage();
  const BindingVerdict ok = c.TakeBindingCall(Called(7, "TRADE:1,BUY,0.10,CURRENT,0,0"));
  EXPECT_EQ(ok.kind, Kind::kAccepted);
  EXPECT_EQ(ok.message, "TRADE:1,BUY,0.10,CURRENT,0,0");
  EXPECT_EQ(c.TakeBindingCall(Called(6, "TRADE:x")).kind, Kind::kUnknownContext)
      << "the page's main world";
  EXPECT_EQ(c.TakeBindingCall(Called(9, "TRADE:x")).kind, Kind::kChildFrame);
  const BindingVerdict widget = c.TakeBindingCall(Called(11, "TRADE:x"));
  EXPECT_EQ(widget.kind, Kind::kChildFrame);
  EXPECT_EQ(widget.origin, "https://widgets.example");
  EXPECT_EQ(c.TakeBindingCall(Called(7, "TRADE:x", "__qvWebView2Post")).kind, Kind::kOtherBinding);
  EXPECT_EQ(c.TakeBindingCall(Called(42, "TRADE:x")).kind, Kind::kUnknownContext);
  EXPECT_EQ(c.HudContext(), 7);

  // A world of another name, or a context that is not an isolated world, is never the HUD's.
  HudChannel named;
  named.FrameNavigated(Navigated("MAIN", kChart));
  named.ContextCreated(
      Created(3, "quorvale_hud", "MAIN", "https://www.tradingview.com", "default"));
  named.ContextCreated(
      Created(4, "__playwright_utility_world", "MAIN", "https://www.tradingview.com"));
  EXPECT_EQ(named.TakeBindingCall(Called(3, "x")).kind, Kind::kUnknownContext);
  EXPECT_EQ(named.TakeBindingCall(Called(4, "x")).kind, Kind::kUnknownContext);
  EXPECT_EQ(named.HudContext(), std::nullopt);
}

TEST(HudChannel, TrustsTheChartSiteAndTheStudioPageOnly) {
  const struct {
    const char* url;
    const char* origin;
    bool trusted;
  } cases[] = {
      {kChart, "https://www.tradingview.com", true},
      {"https://quorvale-data.example/headless.html", "https://quorvale-data.example", true},
      {"https://quorvale-data.example/headless.html?x=1#y", "https://quorvale-data.example", true},
      // The data host serves no other document, and a sign-in page is not ours.
      {"https://quorvale-data.example/QV_AIConfig.json", "https://quorvale-data.example", false},
      {"https://widgets.example/signin.html", "https://widgets.example", false},
      {"https://www.tradingview.com.evil.test/chart/", "https://www.tradingview.com.evil.test",
       false},
      {"http://www.tradingview.com/chart/", "http://www.tradingview.com", false},
      // A context whose origin is not the main frame's document (an opaque or about:blank one).
      {kChart, "://", false},
      {kChart, "https://widgets.example", false},
  };
  for (const auto& c : cases) {
    HudChannel channel;
    channel.FrameNavigated(Navigated("MAIN", c.url));
    channel.ContextCreated(Created(5, "quorvale_hud", "MAIN", c.origin));
    const Kind kind = channel.TakeBindingCall(Called(5, "SYNC:EURUSD")).kind;
    EXPECT_EQ(kind == Kind::kAccepted, c.trusted) << c.url << " " << c.origin;
    EXPECT_EQ(channel.HudContext().has_value(), c.trusted) << c.url;
  }
}

// After a navigation the old document's world is gone: its calls and pushes are dropped, and
// pushes wait until the new document's HUD says it is built.
TEST(HudChannel, FollowsTheCurrentDocumentAndPushesOnlyToABuiltHud) {
  HudChannel c = ChartPage();
  EXPECT_EQ(c.PushContext(), std::nullopt) << "no push before HUD_READY";
  c.NoteReady(7);
  EXPECT_EQ(c.PushContext(), 7);

  c.ContextsCleared();
  EXPECT_EQ(c.TakeBindingCall(Called(7, "TRADE:x")).kind, Kind::kUnknownContext);
  EXPECT_EQ(c.PushContext(), std::nullopt);
  c.FrameNavigated(Navigated("MAIN", "https://widgets.example/signin.html"));
  c.ContextCreated(Created(20, "quorvale_hud", "MAIN", "https://widgets.example"));
  EXPECT_EQ(c.TakeBindingCall(Called(20, "TRADE:x")).kind, Kind::kUntrustedPage);
  c.NoteReady(20);
  EXPECT_EQ(c.PushContext(), std::nullopt) << "never into another origin's page";

  c.FrameNavigated(Navigated("MAIN", kChart));
  c.ContextCreated(Created(30, "quorvale_hud", "MAIN", "https://www.tradingview.com"));
  EXPECT_EQ(c.HudContext(), 30);
  c.NoteReady(30);
  EXPECT_EQ(c.PushContext(), 30);
  c.ContextDestroyed(Parse(R"({"executionContextId":30})"));
  EXPECT_EQ(c.PushContext(), std::nullopt);
  EXPECT_EQ(c.TakeBindingCall(Called(30, "x")).kind, Kind::kUnknownContext);
}

TEST(HudChannel, PushesTheObjectAsTheCallsOneArgument) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("positions"));
  push.Set("text", JsonString("[{\"ticket\":\"1\"}]\");alert(1);//</script>\xE2\x80\xA8"));
  JsonValue params;
  ASSERT_TRUE(ParseJson(HudPushEvaluateParams(41, push), &params));
  EXPECT_EQ(params.IntegerAt("contextId", 0), 41);
  const std::string expression = params.StringAt("expression");
  ASSERT_EQ(expression.rfind("__qvHostPush(", 0), 0u);
  ASSERT_EQ(expression.back(), ')');
  JsonValue argument;
  ASSERT_TRUE(ParseJson(expression.substr(13, expression.size() - 14), &argument));
  EXPECT_EQ(WriteJson(argument), WriteJson(push)) << "the argument is exactly the push object";
}

}  // namespace
