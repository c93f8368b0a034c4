#include "overlay/web_message.h"

#include <gtest/gtest.h>

namespace {

TEST(WebMessageClassify, PrefixesAreCaseSensitiveAndFirstMatchWins) {
  struct Case {
    const char* message;
    WebMessageKind kind;
    const char* rest;
  };
  const Case cases[] = {
      {"SYNC:OANDA:XAUUSD", WebMessageKind::kSync, "OANDA:XAUUSD"},
      {"TRADE:", WebMessageKind::kTrade, ""},
      {"CLOSE_STUDIO", WebMessageKind::kHideWindow, ""},
      {"CLOSE_WINDOW", WebMessageKind::kHideWindow, ""},
      {"CLOSE_WINDOW ", WebMessageKind::kOther, "CLOSE_WINDOW "},
      {"CLEAR_EVAL_REQ", WebMessageKind::kClearEvalRequest, ""},
      {"AI_STATUS:{\"a\":1}", WebMessageKind::kAiStatus, "{\"a\":1}"},
      {"VAULT_CFG:not json", WebMessageKind::kVaultConfig, "not json"},
      {"TG_CFG:tok,42", WebMessageKind::kTelegramConfig, "tok,42"},
      {"sync:XAUUSD", WebMessageKind::kOther, "sync:XAUUSD"},
      {"SYNC_DRAWING: x", WebMessageKind::kOther, "SYNC_DRAWING: x"},
      {"PICK_SET: target=sl", WebMessageKind::kOther, "PICK_SET: target=sl"},
      {" TRADE:1", WebMessageKind::kOther, " TRADE:1"},
  };
  for (const Case& c : cases) {
    const WebMessage m = ClassifyWebMessage(c.message);
    EXPECT_EQ(m.kind, c.kind) << c.message;
    EXPECT_EQ(m.rest, c.rest) << c.message;
  }
}

TEST(ExchangePrefix, KeepsWhatFollowsTheFirstColon) {
  EXPECT_EQ(StripExchangePrefix("OANDA:XAUUSD"), "XAUUSD");
  EXPECT_EQ(StripExchangePrefix("A:B:C"), "B:C");
  EXPECT_EQ(StripExchangePrefix("EURUSD"), "EURUSD");
  EXPECT_EQ(StripExchangePrefix(":X"), "X");
}

TEST(TradeRecord, EmptyRestUsesEveryDefault) {
  const TradeRecord r = BuildTradeRecord("", "OANDA:XAUUSD", 987654321);
  EXPECT_EQ(r.line, "987654321,BUY,0.10,XAUUSD,0,0");
  EXPECT_EQ(r.symbol, "XAUUSD");
}

TEST(TradeRecord, FullRecordKeepsFieldsAndStripsThePrefix) {
  EXPECT_EQ(BuildTradeRecord("171,SELL,R:1.5,FX:EURUSD,1.0850,1.0790", "NDX", 1).line,
            "171,SELL,R:1.5,EURUSD,1.0850,1.0790");
  EXPECT_EQ(BuildTradeRecord("1,BUY,0.10,NDX,20,40,extra,more", "X", 1).line,
            "1,BUY,0.10,NDX,20,40");
}

TEST(TradeRecord, CurrentAndEmptySymbolUseTheHostSymbol) {
  // Five fields: the fifth empty stays empty, the missing sixth becomes "0".
  EXPECT_EQ(BuildTradeRecord("171,SELL,0.20,CURRENT,,", "TVC:USOIL", 1).line,
            "171,SELL,0.20,USOIL,,0");
  EXPECT_EQ(BuildTradeRecord(",,,,", "NDX", 55).line, "55,BUY,0.10,NDX,0,0");  // four fields
  EXPECT_EQ(BuildTradeRecord(",,,,,", "NDX", 55).line, "55,BUY,0.10,NDX,,0");  // five
  EXPECT_EQ(BuildTradeRecord("9,CLOSE", "XAUUSD", 1).line, "9,CLOSE,0.10,XAUUSD,0,0");
  EXPECT_EQ(BuildTradeRecord("9,X,1,current", "XAUUSD", 1).symbol, "current");
}

TEST(TradeRecord, FieldsThatWouldBreakTheRecordAreRefused) {
  // The host symbol comes from the page's SYNC: and may carry a comma.
  EXPECT_FALSE(IsSafeTradeRecord(BuildTradeRecord("1,BUY,0.10,CURRENT", "AB,C", 1)));
  EXPECT_FALSE(IsSafeTradeRecord(BuildTradeRecord("1,BUY\n2,SELL,0.10,NDX", "NDX", 1)));
  EXPECT_FALSE(IsSafeTradeRecord(BuildTradeRecord("1,BUY,0.10,NDX,1\r", "NDX", 1)));
  EXPECT_FALSE(IsSafeTradeRecord(BuildTradeRecord("1,BUY,0.10,N\tDX", "NDX", 1)));
  EXPECT_TRUE(IsSafeTradeRecord(BuildTradeRecord("1,BUY,0.10,XAU\xC3\xA9", "NDX", 1)));
  EXPECT_FALSE(IsSafeRecordField("A,B"));
  EXPECT_TRUE(IsSafeRecordField("B:C"));
  // The refusal's log line stays one line; UTF-8 letters are kept.
  EXPECT_EQ(PrintableForLog("1,BUY\n2,SELL\x7F,XAU\xC3\xA9"), "1,BUY?2,SELL?,XAU\xC3\xA9");
}

TEST(TelegramConfig, SplitsAtTheFirstCommaWithoutEscaping) {
  std::string json;
  ASSERT_TRUE(BuildTelegramConfigJson("123:ABC,-100,5", &json));
  EXPECT_EQ(json, "{\"token\":\"123:ABC\",\"chatid\":\"-100,5\"}");
  ASSERT_TRUE(BuildTelegramConfigJson("tok,", &json));
  EXPECT_EQ(json, "{\"token\":\"tok\",\"chatid\":\"\"}");
  json = "unchanged";
  EXPECT_FALSE(BuildTelegramConfigJson("no comma", &json));
  EXPECT_EQ(json, "unchanged");
}

// The worker reads values up to the next quote without unescaping: a quote in the token
// ("a\",\"chatid\":\"666,42") used to let the token choose the chat the bot obeys.
TEST(TelegramConfig, RefusesValuesThatWouldNotReadBackAsWritten) {
  std::string json = "unchanged";
  for (const char* rest :
       {"a\",\"chatid\":\"666,42", "tok,4\"2", "to\\k,42", "tok,42\n", "t\x7Fk,42"}) {
    EXPECT_FALSE(BuildTelegramConfigJson(rest, &json)) << rest;
  }
  EXPECT_EQ(json, "unchanged");
}

}  // namespace
