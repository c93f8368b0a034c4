#include "bridge/order_files.h"

#include <gtest/gtest.h>
#include <set>

#include "bridge/write_status.h"

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

TEST(OrderFiles, NamesAndRecordIds) {
  EXPECT_EQ(OrderFileName("17"), L"QV_Order_17.csv");
  EXPECT_EQ(OrderTakenFileName("17"), L"QV_OrderTaken_17.csv");
  EXPECT_EQ(TradeResultFileName("17"), L"QV_TradeResult_17.txt");
  EXPECT_EQ(RecordWithId("171,SELL,0.20,EURUSD,,0", "1765000000000"),
            "1765000000000,SELL,0.20,EURUSD,,0");
  EXPECT_EQ(RecordId("171,SELL,0.20,EURUSD,,0"), "171");
  EXPECT_EQ(IdFromFileName(L"QV_TradeResult_17.txt", L"QV_TradeResult_", L".txt"), "17");
  EXPECT_FALSE(IdFromFileName(L"QV_TradeResult_.txt", L"QV_TradeResult_", L".txt"));
  EXPECT_FALSE(IdFromFileName(L"QV_TradeResult_a b.txt", L"QV_TradeResult_", L".txt"));
  EXPECT_FALSE(IdFromFileName(L"QV_Order_17.csv", L"QV_TradeResult_", L".txt"));
  EXPECT_EQ(SharedWorkspaceDataFolder(L"C:\\d\\Quorvale_Workspace_Data\\Profile"),
            L"C:\\d\\Quorvale_Workspace_Data");
  EXPECT_EQ(SharedWorkspaceDataFolder(L"C:\\d\\Quorvale_Workspace_Data"),
            L"C:\\d\\Quorvale_Workspace_Data");
}

// A reader that lands on a file still being written (or a file cut short on a full disk)
// must never act on part of it: every proper prefix yields nothing, the whole exactly one.
TEST(OrderFiles, EveryPrefixOfAnOrderFileYieldsNoOrder) {
  const std::string body = OrderFileBody("1765000000000,BUY,0.10,XAUUSD,20,40");
  for (std::size_t n = 0; n < body.size(); ++n) {
    EXPECT_FALSE(ParseOrderFile(body.substr(0, n), "1765000000000").has_value()) << n;
  }
  const auto whole = ParseOrderFile(body, "1765000000000");
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(whole->action, "BUY");
  EXPECT_EQ(whole->tp, "40");
  EXPECT_TRUE(ParseOrderFile("9,SELL,R:1.0,EURUSD,,\r\n", "9").has_value());
  // Another file's record, a seventh field, an unknown action, a control byte.
  EXPECT_FALSE(ParseOrderFile(body, "1765000000001"));
  EXPECT_FALSE(ParseOrderFile("9,BUY,0.10,X,0,0,7\n", "9"));
  EXPECT_FALSE(ParseOrderFile("9,HOLD,0.10,X,0,0\n", "9"));
  EXPECT_FALSE(ParseOrderFile("9,BUY,0.10,X\t,0,0\n", "9"));
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

TEST(WriteStatusText, NamesTheWindowsError) {
  EXPECT_EQ(DescribeWriteError(32), "Windows error 32 (sharing violation)");
  EXPECT_EQ(DescribeWriteError(1234), "Windows error 1234");
  EXPECT_TRUE(WriteStatus{}.ok());
  EXPECT_FALSE(WriteStatus{5}.ok());
}

}  // namespace
