#include "bridge/order_files.h"

#include <gtest/gtest.h>
#include <set>

#include "bridge/order_account.h"

namespace {

TEST(OrderIds, NeverRepeatNeverFallBehindTheClock) {
  EXPECT_EQ(NextOrderId(0, 1765000000000), 1765000000000u);
  // Two senders within one millisecond, and a clock that steps back after a restart.
  EXPECT_EQ(NextOrderId(1765000000000, 1765000000000), 1765000000001u);
  EXPECT_EQ(NextOrderId(1765000000500, 1765000000001), 1765000000501u);
  EXPECT_EQ(NextOrderId(UINT64_MAX, 5), UINT64_MAX);

  // A burst: every id larger than the one before, all distinct, under a standing clock.
  std::set<std::uint64_t> seen;
  std::uint64_t last = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::uint64_t id = NextOrderId(last, 1765000000000 + static_cast<std::uint64_t>(i / 10));
    EXPECT_GT(id, last);
    last = id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(OrderIds, StateFileRoundTripsAndRefusesDamage) {
  EXPECT_EQ(ParseOutboxState(OutboxStateBody(1765000000123)), 1765000000123u);
  EXPECT_EQ(ParseOutboxState("LAST=42\r\n"), 42u);
  for (const char* bad :
       {"", "LAST=", "LAST=12x", "last=1", "LAST=-1", "LAST=99999999999999999999"}) {
    EXPECT_FALSE(ParseOutboxState(bad).has_value()) << bad;
  }
}

TEST(OrderIds, CharacterSetAndLength) {
  EXPECT_TRUE(IsValidOrderId("1765000000000"));
  EXPECT_TRUE(IsValidOrderId("AT_XAUUSD_1765000000_BUY"));
  EXPECT_TRUE(IsValidOrderId(std::string(64, 'a')));
  EXPECT_FALSE(IsValidOrderId(std::string(65, 'a')));
  for (const char* bad : {"", "a,b", "a b", "..\\x", "a/b", "id\n", "\xC3\xA9"}) {
    EXPECT_FALSE(IsValidOrderId(bad)) << bad;
  }
}

TEST(OrderFiles, NamesAndRecordFields) {
  EXPECT_EQ(OrderFileName("17"), L"QV_Order_17.csv");
  EXPECT_EQ(OrderTakenFileName("17"), L"QV_OrderTaken_17.csv");
  EXPECT_EQ(TradeResultFileName("17"), L"QV_TradeResult_17.txt");
  const std::optional<Order> split = SplitOrderRecord("171,SELL,0.20,EURUSD,,0");
  ASSERT_TRUE(split.has_value());
  EXPECT_EQ(split->id, "171");
  EXPECT_EQ(split->sl, "");
  EXPECT_EQ(OrderRecordLine(*split), "171,SELL,0.20,EURUSD,,0");
  EXPECT_FALSE(SplitOrderRecord("171,SELL,0.20,EURUSD,0"));
  EXPECT_FALSE(SplitOrderRecord("171,SELL,0.20,EURUSD,0,0,"));
  EXPECT_EQ(IdFromFileName(L"QV_TradeResult_17.txt", L"QV_TradeResult_", L".txt"), "17");
  EXPECT_FALSE(IdFromFileName(L"QV_TradeResult_.txt", L"QV_TradeResult_", L".txt"));
  EXPECT_FALSE(IdFromFileName(L"QV_TradeResult_a b.txt", L"QV_TradeResult_", L".txt"));
  EXPECT_FALSE(IdFromFileName(L"QV_Order_17.csv", L"QV_TradeResult_", L".txt"));
}

// A broker's reason with a tab in it was refused, so the whole result stayed unread and the
// page kept "sent" for a rejected order.
TEST(TradeResults, AControlByteInTheReasonIsShownAsABlank) {
  const auto read = ParseTradeResult("ID=7\nSTATUS=REJECTED\nREASON=no\tmoney\x01left\nEND=1", "7");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->status, TradeResult::Status::kRejected);
  EXPECT_EQ(read->reason, "no money left");
  EXPECT_FALSE(ParseTradeResult("ID=7\nSTATUS=EXECUTED\nTICKET=1\x01\nEND=1", "7"))
      << "a ticket is digits the companion wrote, never text";
}

TEST(TradeResults, EveryPrefixYieldsNoResult) {
  const std::string executed =
      "ID=1765000000000\r\nSTATUS=EXECUTED\r\nTICKET=100001\r\nPRICE=2650.5\r\nVOLUME=0.10\r\nEND="
      "1\r\n";
  for (std::size_t n = 0; n < executed.size() - 2; ++n) {
    EXPECT_FALSE(ParseTradeResult(executed.substr(0, n), "1765000000000").has_value()) << n;
  }
  const auto r = ParseTradeResult(executed, "1765000000000");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->status, TradeResult::Status::kExecuted);
  EXPECT_EQ(r->ticket, "100001");
  EXPECT_EQ(r->price, "2650.5");
  EXPECT_EQ(r->volume, "0.10");

  const std::string rejected = "ID=7\nSTATUS=REJECTED\nREASON=market closed\nEND=1";
  for (std::size_t n = 0; n < rejected.size(); ++n) {
    EXPECT_FALSE(ParseTradeResult(rejected.substr(0, n), "7").has_value()) << n;
  }
  const auto j = ParseTradeResult(rejected, "7");
  ASSERT_TRUE(j.has_value());
  EXPECT_EQ(j->status, TradeResult::Status::kRejected);
  EXPECT_EQ(j->reason, "market closed");
  // A companion cut off mid-order that cannot tell whether it filled.
  const auto u = ParseTradeResult("ID=7\nSTATUS=UNKNOWN\nREASON=check your positions\nEND=1", "7");
  ASSERT_TRUE(u.has_value());
  EXPECT_EQ(u->status, TradeResult::Status::kUnknown);
  EXPECT_EQ(u->reason, "check your positions");
}

TEST(TradeResults, RefusesWhatIsNotThisOrdersWholeResult) {
  EXPECT_FALSE(ParseTradeResult("ID=8\nSTATUS=EXECUTED\nTICKET=1\nEND=1", "7"));
  EXPECT_FALSE(ParseTradeResult("ID=7\nSTATUS=EXECUTED\nEND=1", "7")) << "executed needs a ticket";
  EXPECT_FALSE(ParseTradeResult("ID=7\nSTATUS=DONE\nEND=1", "7"));
  EXPECT_FALSE(ParseTradeResult("ID=7\nEND=1\nSTATUS=REJECTED", "7")) << "END must close the file";
  // Its first part alone would be a whole result without the reason.
  EXPECT_FALSE(ParseTradeResult("ID=7\nSTATUS=REJECTED\nEND=1\nREASON=late\nEND=1", "7"));
  const auto longReason =
      ParseTradeResult("ID=7\nSTATUS=REJECTED\nREASON=" + std::string(300, 'x') + "\nEND=1", "7");
  ASSERT_TRUE(longReason.has_value());
  EXPECT_EQ(longReason->reason.size(), 200u);
}

}  // namespace

// The accounts the workspace learns from the companions, and the one chosen for orders
// that name no chart.
TEST(OrderAccounts, ChartFilesAndTheChoice) {
  const auto chart = ParseChartRegistration(
      "HWND=132456\r\nACCOUNT=7000002\nSERVER=Broker-Live\nSYMBOL=EURUSD.m\nPROTOCOL=3", 132456);
  ASSERT_TRUE(chart.has_value());
  EXPECT_EQ(chart->account, "7000002");
  EXPECT_EQ(chart->symbol, "EURUSD.m");
  EXPECT_FALSE(ParseChartRegistration("HWND=132456\nACCOUNT=7000002", 132457)) << "another chart's";
  EXPECT_FALSE(ParseChartRegistration("HWND=132456\nACCOUNT=", 132456));
  EXPECT_FALSE(ParseChartRegistration("HWND=132456\nACCOUNT=70x", 132456));
  EXPECT_EQ(ChartRegistrationHandle(L"QV_Chart_132456.txt"), 132456u);
  EXPECT_FALSE(ChartRegistrationHandle(L"QV_Chart_0132456.txt"));
  EXPECT_FALSE(ChartRegistrationHandle(L"QV_Chart_.txt"));
  EXPECT_FALSE(ChartRegistrationHandle(L"QV_Chart_12a.txt"));
  EXPECT_EQ(PositionsFileName("7000002"), L"QV_OpenPositions_7000002.json");

  EXPECT_EQ(OrderAccountFor(ParseAccountChoice("FIRST=111\n")), "111");
  EXPECT_EQ(OrderAccountFor(ParseAccountChoice("FIRST=111\nCHOSEN=222\n")), "222");
  EXPECT_EQ(OrderAccountFor(ParseAccountChoice("CHOSEN=demo\nFIRST=111")), "111")
      << "a choice that is no login is ignored";
  EXPECT_EQ(OrderAccountFor(ParseAccountChoice("")), "");
  const AccountChoice both{"222", "111"};
  EXPECT_EQ(AccountChoiceBody(both), "CHOSEN=222\nFIRST=111\n");
  EXPECT_EQ(ParseAccountChoice(AccountChoiceBody(both)).chosen, "222");
  EXPECT_EQ(LaunchRequestAccount("HWND=5\r\nSYMBOL=X\r\nACCOUNT=7000002\r\n"), "7000002");
  EXPECT_EQ(LaunchRequestAccount("HWND=5\nSYMBOL=X"), "") << "a companion of an earlier version";
  EXPECT_EQ(AccountsOf({{9, "222", "X"}, {3, "111", "Y"}, {5, "222", "Z"}}),
            (std::vector<std::string>{"111", "222"}));
}
