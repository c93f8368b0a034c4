#include "host/json.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Json, RoundTripsValuesExactlyAsJsonStringifyWritesThem) {
  for (const char* text :
       {R"({"a":[1,-2.5e+10,true,false,null],"b":{"c":"d"},"e":[]})", R"("plain")", "0", "-0.125",
        R"([{},[],""])", R"({"big":12345678901234567890123})"}) {
    JsonValue v;
    ASSERT_TRUE(ParseJson(text, &v)) << text;
    EXPECT_EQ(WriteJson(v), text) << "numbers keep their source text";
  }
}

TEST(Json, DecodesEscapesAndSurrogatePairsToUtf8) {
  JsonValue v;
  ASSERT_TRUE(ParseJson(R"("q\"b\\s\/n\n\u00e9\u4e2d\ud83d\ude00")", &v));
  EXPECT_EQ(v.text, "q\"b\\s/n\n\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  ASSERT_TRUE(ParseJson(R"("lone \ud800 x")", &v));
  EXPECT_EQ(v.text, "lone \xEF\xBF\xBD x") << "a lone surrogate becomes U+FFFD";
}

TEST(Json, QuotesControlCharactersAndKeepsUtf8) {
  EXPECT_EQ(JsonQuote("a\"b\\c\n\r\t\x01\xC3\xA9"), R"("a\"b\\c\n\r\t\u0001)"
                                                    "\xC3\xA9\"");
  JsonValue v;
  const std::string nasty = std::string("x\x1f\"\\\n", 5);
  ASSERT_TRUE(ParseJson(JsonQuote(nasty), &v));
  EXPECT_EQ(v.text, nasty);
}

TEST(Json, RejectsMalformedTextAndHostileNesting) {
  for (const char* text : {"", "{", "[1,]", "{\"a\" 1}", "01", "1.", "-", "tru", "\"abc",
                           "\"a\nb\"", "\"\\x\"", "\"\\u12\"", "[1] 2", "{1:2}", "nul"}) {
    JsonValue v;
    EXPECT_FALSE(ParseJson(text, &v)) << text;
  }
  JsonValue v;
  EXPECT_FALSE(ParseJson(std::string(100000, '['), &v)) << "deep nesting fails, no stack overflow";
  EXPECT_TRUE(ParseJson(std::string(100, '[') + std::string(100, ']'), &v));
}

TEST(Json, MemberLookupIgnoresWrongTypes) {
  JsonValue v;
  ASSERT_TRUE(ParseJson(R"({"s":"x","n":42,"o":{}})", &v));
  EXPECT_EQ(v.StringAt("s"), "x");
  EXPECT_EQ(v.StringAt("n"), "");
  EXPECT_EQ(v.IntegerAt("n", -1), 42);
  EXPECT_EQ(v.IntegerAt("s", -1), -1);
  EXPECT_EQ(v.Find("missing"), nullptr);
}

// Pushes into the page are built as values and written by the writer, never spliced as text:
// a member set twice holds its last value, and a number that is not one becomes null.
TEST(Json, BuiltValuesWriteAsJsonAndReadBack) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("fate")).Set("n", JsonNumber("1.50")).Set("ok", JsonBool(true));
  push.Set("type", JsonString("positions\"\n</script>"));
  push.Set("bad", JsonNumber("1; alert(1)"));
  EXPECT_EQ(WriteJson(push), R"({"type":"positions\"\n</script>","n":1.50,"ok":true,"bad":null})");
  JsonValue back;
  ASSERT_TRUE(ParseJson(WriteJson(push), &back));
  EXPECT_EQ(back.StringAt("type"), "positions\"\n</script>");
}

}  // namespace
