#include "overlay/web_message.h"

#include <gtest/gtest.h>

#include "overlay/page_scripts.h"
#include "overlay/web_message_action.h"

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
      {"AT_CLAIM:XAUUSD,1000,abcdef12", WebMessageKind::kBarClaim, "XAUUSD,1000,abcdef12"},
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
  const Order r = OrderFromTradeMessage("", "OANDA:XAUUSD", 987654321);
  EXPECT_EQ(OrderRecordLine(r), "987654321,BUY,0.10,XAUUSD,0,0");
  EXPECT_EQ(r.symbol, "XAUUSD");
}

TEST(TradeRecord, FullRecordKeepsFieldsAndStripsThePrefix) {
  EXPECT_EQ(
      OrderRecordLine(OrderFromTradeMessage("171,SELL,R:1.5,FX:EURUSD,1.0850,1.0790", "NDX", 1)),
      "171,SELL,R:1.5,EURUSD,1.0850,1.0790");
  EXPECT_EQ(OrderRecordLine(OrderFromTradeMessage("1,BUY,0.10,NDX,20,40,extra,more", "X", 1)),
            "1,BUY,0.10,NDX,20,40");
}

// The HUD marks a level picked on the chart or typed as a price (P:) apart from a typed
// distance (D:); the record keeps the bare numbers that older companions read, the kinds go
// beside it into the order file.
TEST(TradeRecord, MarkedLevelsGoInBareWithTheirKinds) {
  const Order r = OrderFromTradeMessage("9,BUY,0.10,XAUUSD,P:2330.5,D:40", "X", 1);
  EXPECT_EQ(OrderRecordLine(r), "9,BUY,0.10,XAUUSD,2330.5,40");
  EXPECT_EQ(r.slKind, "PRICE");
  EXPECT_EQ(r.tpKind, "DISTANCE");
  const Order bare = OrderFromTradeMessage("9,BUY,0.10,XAUUSD,20,P:", "X", 1);
  EXPECT_EQ(OrderRecordLine(bare), "9,BUY,0.10,XAUUSD,20,P:")
      << "a mark without a number is no mark";
  EXPECT_EQ(bare.slKind, "");
  EXPECT_EQ(bare.tpKind, "");
  const WebMessageAction action =
      DecideWebMessage("TRADE:9,SELL,0.10,EURUSD,D:20,P:1.0790", "X", 1, OrderLimits{});
  EXPECT_EQ(action.body, "9,SELL,0.10,EURUSD,20,1.0790");
  EXPECT_EQ(action.order.slKind, "DISTANCE");
  EXPECT_EQ(action.order.tpKind, "PRICE");
}

TEST(TradeRecord, CurrentAndEmptySymbolUseTheHostSymbol) {
  // Five fields: the fifth empty stays empty, the missing sixth becomes "0".
  EXPECT_EQ(OrderRecordLine(OrderFromTradeMessage("171,SELL,0.20,CURRENT,,", "TVC:USOIL", 1)),
            "171,SELL,0.20,USOIL,,0");
  EXPECT_EQ(OrderRecordLine(OrderFromTradeMessage(",,,,", "NDX", 55)),
            "55,BUY,0.10,NDX,0,0");  // four fields
  EXPECT_EQ(OrderRecordLine(OrderFromTradeMessage(",,,,,", "NDX", 55)),
            "55,BUY,0.10,NDX,,0");  // five
  EXPECT_EQ(OrderRecordLine(OrderFromTradeMessage("9,CLOSE", "XAUUSD", 1)),
            "9,CLOSE,0.10,XAUUSD,0,0");
  EXPECT_EQ(OrderFromTradeMessage("9,X,1,current", "XAUUSD", 1).symbol, "current");
}

TEST(TradeRecord, FieldsThatWouldBreakTheRecordAreRefused) {
  // The host symbol comes from the page's SYNC: and may carry a comma.
  EXPECT_FALSE(IsSafeOrder(OrderFromTradeMessage("1,BUY,0.10,CURRENT", "AB,C", 1)));
  EXPECT_FALSE(IsSafeOrder(OrderFromTradeMessage("1,BUY\n2,SELL,0.10,NDX", "NDX", 1)));
  EXPECT_FALSE(IsSafeOrder(OrderFromTradeMessage("1,BUY,0.10,NDX,1\r", "NDX", 1)));
  EXPECT_FALSE(IsSafeOrder(OrderFromTradeMessage("1,BUY,0.10,N\tDX", "NDX", 1)));
  EXPECT_TRUE(IsSafeOrder(OrderFromTradeMessage("1,BUY,0.10,XAU\xC3\xA9", "NDX", 1)));
  EXPECT_FALSE(IsSafeRecordField("A,B"));
  EXPECT_TRUE(IsSafeRecordField("B:C"));
  // The refusal's log line stays one line; UTF-8 letters are kept.
  EXPECT_EQ(PrintableForLog("1,BUY\n2,SELL\x7F,XAU\xC3\xA9"), "1,BUY?2,SELL?,XAU\xC3\xA9");
}

}  // namespace

#include "overlay/order_fate.h"

namespace {

const OrderLimits kLimits;  // the defaults: 1.00 lots, 2.0 %

TEST(OrderFateReport, ReachesTheHudAsOneJsonObject) {
  TradeResult rejected;
  rejected.status = TradeResult::Status::kRejected;
  rejected.reason = "no money\"); alert(1); (\"</script>";
  const OrderFate fate = FateFromResult("1765000000123", "1765000000999", rejected);
  EXPECT_EQ(WriteJson(OrderFatePush(fate)),
            "{\"type\":\"fate\",\"client\":\"1765000000123\",\"id\":\"1765000000999\","
            "\"status\":\"rejected\",\"ticket\":\"\",\"price\":\"\",\"volume\":\"\","
            "\"reason\":\"no money\\\"); alert(1); (\\\"</script>\"}");
  TradeResult executed;
  executed.status = TradeResult::Status::kExecuted;
  executed.ticket = "100001";
  EXPECT_EQ(FateFromResult("c", "i", executed).status, OrderFate::Status::kExecuted);
  EXPECT_EQ(FateFromResult("c", "i", executed).ticket, "100001");
  EXPECT_EQ(FateFromResult("c", "i", TradeResult{}).reason, "no reason given");
  TradeResult unknown;
  unknown.status = TradeResult::Status::kUnknown;
  EXPECT_EQ(FateFromResult("c", "i", unknown).status, OrderFate::Status::kUnknown);
  EXPECT_EQ(FateFromResult("c", "i", unknown).reason, "check your positions");
  EXPECT_STREQ(OrderFateStatusName(OrderFate::Status::kUnknown), "unknown");
  EXPECT_STREQ(OrderFateStatusName(OrderFate::Status::kNotSent), "not_sent");
  EXPECT_STREQ(OrderFateStatusName(OrderFate::Status::kSent), "sent");
}

TEST(OrderFateReport, OnlyAutoTraderIdsAreKept) {
  EXPECT_TRUE(IsKeptPageOrderId("AT_XAUUSD_1765000000_BUY"));
  EXPECT_FALSE(IsKeptPageOrderId("1765000000123"));
  EXPECT_FALSE(IsKeptPageOrderId("AT_"));
  EXPECT_FALSE(IsKeptPageOrderId("AT_a b"));
}

TEST(WebMessageAction, OrdersAreQueuedOrRefusedToAnIdThatCanBeReported) {
  using Step = WebMessageAction::Step;
  const WebMessageAction kept =
      DecideWebMessage("TRADE:AT_XAUUSD_1765000000_BUY,SELL,0.25,,0,0", "OANDA:XAUUSD", 7, kLimits);
  EXPECT_EQ(kept.step, Step::kQueueOrder);
  EXPECT_EQ(kept.pageId, "AT_XAUUSD_1765000000_BUY");
  EXPECT_TRUE(kept.keepPageId);
  EXPECT_EQ(kept.symbol, "XAUUSD");
  const WebMessageAction page = DecideWebMessage("TRADE:pg1,BUY", "XAUUSD", 7, kLimits);
  EXPECT_EQ(page.step, Step::kQueueOrder);
  EXPECT_FALSE(page.keepPageId);
  // A refused record's fate goes back to the page's id, unless that id could name no order.
  const WebMessageAction broken =
      DecideWebMessage("TRADE:pg1,BUY,0.1,X\nY,0,0", "XAUUSD", 7, kLimits);
  EXPECT_EQ(broken.step, Step::kRefuseOrder);
  EXPECT_EQ(broken.pageId, "pg1");
  const WebMessageAction badId =
      DecideWebMessage("TRADE:bad id!,BUY,0.1,\x01,0,0", "XAUUSD", 7, kLimits);
  EXPECT_EQ(badId.step, Step::kRefuseOrder);
  EXPECT_EQ(badId.pageId, "");
  // Over the hard limits: refused with the reason, back to the page's id (the review's S1
  // sent 25 lots and S2 an R:10 AutoTrader order).
  const WebMessageAction big =
      DecideWebMessage("TRADE:pg2,SELL,25.00,XAUUSD,20,40", "XAUUSD", 7, kLimits);
  EXPECT_EQ(big.step, Step::kRefuseOrder);
  EXPECT_EQ(big.pageId, "pg2");
  EXPECT_EQ(big.reason, "size 25.00 lots is over the workspace's largest lot size (1.00 lots)");
  const WebMessageAction risky = DecideWebMessage(
      "TRADE:AT_XAUUSD_2000_BUY,BUY,R:10.0,XAUUSD,2029,2100", "XAUUSD", 7, kLimits);
  EXPECT_EQ(risky.step, Step::kRefuseOrder);
  EXPECT_EQ(risky.pageId, "AT_XAUUSD_2000_BUY");
  EXPECT_EQ(DecideWebMessage("TRADE:pg3,CLOSE,50,ALL,0,0", "XAUUSD", 7, kLimits).step,
            Step::kQueueOrder);
}

TEST(WebMessageAction, SyncAndConfigurationOnlyWhenUsable) {
  using Step = WebMessageAction::Step;
  const WebMessageAction sync = DecideWebMessage("SYNC:OANDA:XAUUSD", "", 99, kLimits);
  EXPECT_EQ(sync.step, Step::kSyncSymbol);
  EXPECT_EQ(sync.symbol, "XAUUSD");
  EXPECT_EQ(sync.body, "XAUUSD,99");
  EXPECT_EQ(DecideWebMessage("SYNC:A,B", "", 99, kLimits).step, Step::kDropSync);
  // A new relay is only a question to the trader; removing it needs none.
  const WebMessageAction relay = DecideWebMessage("TG_CFG:123:tok,42", "", 0, kLimits);
  EXPECT_EQ(relay.step, Step::kAskRelayChange);
  EXPECT_EQ(relay.relay.token, "123:tok");
  EXPECT_EQ(relay.relay.userId, "42");
  EXPECT_EQ(DecideWebMessage("TG_CFG:,", "", 0, kLimits).step, Step::kRemoveRelay);
  EXPECT_EQ(DecideWebMessage("TG_CFG:t\"k,42", "", 0, kLimits).step, Step::kIgnore);
  EXPECT_EQ(DecideWebMessage("TG_CFG:a\",\"chatid\":\"666,42", "", 0, kLimits).step, Step::kIgnore);
  // Keys and settings have their own messages; the old one that wrote both is refused.
  EXPECT_EQ(DecideWebMessage("VAULT_CFG:{\"gemini\":\"evil\"}", "", 0, kLimits).step,
            Step::kRefuseVaultConfig);
  EXPECT_EQ(DecideWebMessage("SETTINGS_SET:{}", "", 0, kLimits).body, "{}");
  EXPECT_EQ(DecideWebMessage("SECRETS_SET:{}", "", 0, kLimits).step, Step::kStoreSecrets);
  EXPECT_EQ(DecideWebMessage("MIGRATE:{}", "", 0, kLimits).step, Step::kMigrate);
  EXPECT_EQ(DecideWebMessage("settings_set:{}", "", 0, kLimits).step, Step::kLog);
  EXPECT_EQ(DecideWebMessage("hello", "", 0, kLimits).body, "hello");
}

}  // namespace
