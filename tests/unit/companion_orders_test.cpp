// The terminal companion's order intake against the paper trade server: each id executed
// once (across passes, restarts and two charts), the trader's rules, the server's answers,
// the management actions, and bad files ignored.
#include "bridge/order_files.h"
#include "companion_fixture.h"

namespace {

class CompanionOrders : public CompanionTest {
 protected:
  QvCompanion a;

  void SetUp() override {
    CompanionTest::SetUp();
    UseOrderFiles();
    a.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  }

  // As the workspace writes it: the record and one line feed.
  void Order(const std::string& id, const std::string& record, long age = 0) {
    Put("QV_Order_" + id + ".csv", record + "\n", age);
  }

  // A position the server already had: shown at once.
  static void Open(const char* sym, bool buy, double vol, double open, double sl) {
    shim::SettleAll();
    shim::Position p{shim::S().nextTicket++, sym, buy, vol, open, sl, 0, 1, 0, 0, ""};
    shim::S().positions.push_back(p);
  }
};

TEST_F(CompanionOrders, BuyExecutesOnceWithResultCaptureAndPositions) {
  Order("101", "101,BUY,0.10,EURUSD,20,40");
  a.Timer();
  ASSERT_EQ(Result("101", "STATUS"), "EXECUTED") << Get("QV_TradeResult_101.txt");
  ASSERT_EQ(shim::S().positions.size(), 1u);
  const shim::Position& p = shim::S().positions[0];
  EXPECT_TRUE(p.buy);
  EXPECT_DOUBLE_EQ(p.volume, 0.10);
  EXPECT_NEAR(p.sl, 1.08310, 1e-9);
  EXPECT_NEAR(p.tp, 1.08910, 1e-9);
  std::string ticket = std::to_string(p.ticket);
  EXPECT_EQ(Result("101", "TICKET"), ticket);
  // The workspace's own reader takes the companion's result as whole (a result it refused
  // would leave the trader with "sent to terminal" for a fill).
  const std::optional<TradeResult> read = ParseTradeResult(Get("QV_TradeResult_101.txt"), "101");
  ASSERT_TRUE(read.has_value()) << Get("QV_TradeResult_101.txt");
  EXPECT_EQ(read->ticket, ticket);
  EXPECT_FALSE(Has("QV_Order_101.csv"));
  EXPECT_FALSE(Has("QV_OrderTaken_101.csv"));
  std::string capture = Get("QV_Capture_Request_1001_" + ticket + ".txt");
  EXPECT_NE(capture.find("TICKET=" + ticket + "\n"), std::string::npos) << capture;
  EXPECT_NE(capture.find("ACTION=BUY"), std::string::npos);
  EXPECT_NE(capture.find("USER_ID=trader7"), std::string::npos);
  EXPECT_NE(capture.find("HWND=1001"), std::string::npos);
  EXPECT_NE(Get("QV_OpenPositions.json").find("\"ticket\":\"" + ticket + "\""), std::string::npos);

  // The same id again, now or after a restart of the advisor: never a second position.
  Order("101", "101,BUY,0.10,EURUSD,20,40");
  a.Timer();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  EXPECT_FALSE(Has("QV_Order_101.csv"));
  EXPECT_EQ(Result("101", "STATUS"), "EXECUTED") << "the waiting first result is kept";
  unlink(Path("QV_TradeResult_101.txt").c_str());
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  Order("101", "101,BUY,0.10,EURUSD,20,40");
  restarted.Timer();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  EXPECT_EQ(Result("101", "STATUS"), "REJECTED");
  EXPECT_NE(Result("101", "REASON").find("already executed"), std::string::npos);
}

TEST_F(CompanionOrders, TwoChartsOneExecution) {
  QvCompanion b;
  b.Init(Chart(1002, "XAUUSD"), Settings("XAUUSD"));
  Order("7", "7,SELL,0.20,EURUSD,0,0");
  b.Timer();
  a.Timer();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  EXPECT_EQ(Result("7", "STATUS"), "EXECUTED");
  // A claim is a rename that fails when the taken name exists: one winner.
  Put("QV_Order_8.csv", "8,BUY,0.10,EURUSD,0,0");
  Put("QV_OrderTaken_8.csv", "8,BUY,0.10,EURUSD,0,0");
  EXPECT_FALSE(QvFiles::Claim("Quorvale\\QV_Order_8.csv", "Quorvale\\QV_OrderTaken_8.csv"));
}

TEST_F(CompanionOrders, CurrentIsTheSymbolOfTheChartWithTheSmallestHandle) {
  QvCompanion b;
  b.Init(Chart(1002, "XAUUSD"), Settings("XAUUSD"));
  b.SlowDuties(true);
  a.SlowDuties(true);
  Order("9", "9,BUY,0.10,CURRENT,0,0");
  b.Timer();
  EXPECT_TRUE(Has("QV_Order_9.csv")) << "chart 1002 leaves CURRENT to chart 1001";
  a.Timer();
  ASSERT_EQ(shim::S().positions.size(), 1u);
  EXPECT_EQ(shim::S().positions[0].symbol, "EURUSD");
}

TEST_F(CompanionOrders, BadFilesAreRefusedOrIgnoredNeverExecuted) {
  Order("20", "20,BUY,0.10,EURUSD,20,40", 120);
  Order("21", "21,BUY,0.10,EURUSD,20");
  Order("22", "22,BUY,0.10,EURUSD,20,40" + std::string(2000, ' '));
  Order("23", "23,BUY,0.10,EURUSD\t,20,40");
  Order("24", "99,BUY,0.10,EURUSD,20,40");
  Order("bad$id", "1,BUY,0.10,EURUSD,20,40");
  Order("25", "25,BUY,-1,EURUSD,20,40");
  Order("26", "26,HODL,0.10,EURUSD,20,40");
  a.Timer();
  a.Timer();
  EXPECT_TRUE(shim::S().positions.empty());
  EXPECT_EQ(Result("20", "REASON"), "expired");
  EXPECT_NE(Result("21", "REASON").find("5 fields, not 6"), std::string::npos);
  EXPECT_NE(Result("22", "REASON").find("larger than 1024 bytes"), std::string::npos);
  EXPECT_NE(Result("23", "REASON").find("control character"), std::string::npos);
  EXPECT_NE(Result("24", "REASON").find("differs from its file name"), std::string::npos);
  EXPECT_NE(Result("25", "REASON").find("not a positive lot size"), std::string::npos);
  EXPECT_NE(Result("26", "REASON").find("unknown action"), std::string::npos);
  EXPECT_TRUE(Has("QV_Order_bad$id.csv"));
  int lines = 0;
  for (const std::string& l : shim::S().log)
    lines += l.find("QV_Order_bad$id.csv") != std::string::npos;
  EXPECT_EQ(lines, 1) << "logged once, not on every pass";
}

TEST_F(CompanionOrders, RequotesAreRetriedOtherAnswersReported) {
  shim::S().script = {TRADE_RETCODE_REQUOTE, TRADE_RETCODE_PRICE_CHANGED};
  Order("30", "30,BUY,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("30", "STATUS"), "EXECUTED");
  EXPECT_EQ(shim::S().sends, 3);

  shim::S().sends = 0;
  shim::S().script = {TRADE_RETCODE_REQUOTE, TRADE_RETCODE_REQUOTE, TRADE_RETCODE_REQUOTE,
                      TRADE_RETCODE_REQUOTE};
  Order("31", "31,BUY,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(shim::S().sends, 4) << "three retries, then the requote is the answer";
  EXPECT_EQ(Result("31", "REASON"), "trade server: requote (10004): scripted answer");

  shim::S().sends = 0;
  shim::S().script = {TRADE_RETCODE_NO_MONEY};
  Order("32", "32,SELL,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(shim::S().sends, 1) << "no retry of a refusal";
  EXPECT_EQ(Result("32", "REASON"), "trade server: not enough money (10019): scripted answer");
  EXPECT_EQ(shim::S().positions.size(), 1u);
}

TEST_F(CompanionOrders, InvalidLevelsNeverReachTheServer) {
  shim::S().symbols["EURUSD"].stopsLevel = 50;
  Order("40", "40,BUY,0.10,EURUSD,1.0849,0");   // a stop 1 pip under the bid, 5 required
  Order("41", "41,SELL,0.10,EURUSD,1.0840,0");  // a sell's stop below the market
  a.Timer();
  EXPECT_EQ(shim::S().sends, 0);
  EXPECT_NE(Result("40", "REASON").find("minimum stop distance of 50 points"), std::string::npos)
      << Result("40", "REASON");
  EXPECT_EQ(Result("41", "REASON"), "stop loss 1.0840 is not above the ask 1.08510");
}

TEST_F(CompanionOrders, TradersRulesRefuseWithTheReason) {
  Put("QV_AIConfig.json", "{\"risk_pct\":1.0,\"max_dd\":2.0,\"max_spread\":5}");
  a.SlowDuties(true);
  Order("50", "50,BUY,R:1.0,EURUSD,0,40");
  Order("51", "51,BUY,R:6.0,EURUSD,20,40");
  Order("AT_EURUSD_1700000000_BUY", "AT_EURUSD_1700000000_BUY,BUY,R:2.0,EURUSD,20,40");
  a.Timer();
  EXPECT_EQ(Result("50", "REASON"), "a risk size needs a stop loss");
  EXPECT_EQ(Result("51", "REASON"), "risk 6.0% above the maximum 5.0%");
  // The spread (10 points) is over the page's limit of 5 for its automatic orders.
  EXPECT_EQ(Result("AT_EURUSD_1700000000_BUY", "REASON"), "spread 10 points above the maximum 5");
  Order("AT_EURUSD_1700000001_BUY", "AT_EURUSD_1700000001_BUY,BUY,R:2.0,USDJPY,25,0");
  shim::SetQuote("USDJPY", 150.000, 150.004);
  a.Timer();
  EXPECT_EQ(Result("AT_EURUSD_1700000001_BUY", "REASON"),
            "AutoTrader risk 2.0% above the configured 1.0%");

  // Down 3% today against a cap of 2%: no new position, closing still allowed.
  shim::AddClosedDeal(-300);
  Order("52", "52,BUY,R:1.0,EURUSD,20,40");
  a.Timer();
  EXPECT_EQ(Result("52", "REASON"), "daily loss cap reached: down 3.00% today, cap 2.00%");
  EXPECT_TRUE(shim::S().positions.empty());

  shim::S().deals.clear();
  shim::S().balance = 10000;
  shim::M().fakeUtc = 1765195200;  // 12:00 UTC
  QvSettings hours = Settings("EURUSD");
  hours.hourStart = 7;
  hours.hourEnd = 9;
  a.m_intake.m_exec.m_set = hours;
  Order("53", "53,BUY,0.10,EURUSD,20,40");
  a.Timer();
  EXPECT_EQ(Result("53", "REASON"), "outside the trading hours 7-9 UTC (now 12:00)");
  shim::S().tradeAllowed = false;
  a.m_intake.m_exec.m_set = Settings("EURUSD");
  Order("54", "54,BUY,0.10,EURUSD,20,40");
  a.Timer();
  EXPECT_EQ(Result("54", "REASON"), "algo trading is disabled in the terminal");
  EXPECT_EQ(shim::S().sends, 0);
}

TEST_F(CompanionOrders, BreakEvenPlusOnlyWhereItImprovesAndTheBrokerAllows) {
  Open("EURUSD", true, 0.10, 1.08300, 1.08100);  // in profit: stop to 1.08320
  Open("EURUSD", false, 0.10, 1.08700, 0);       // sell in profit: stop to 1.08680
  Open("EURUSD", true, 0.10, 1.08300, 1.08400);  // stop already better than entry + 2 pips
  Order("60", "60,BE_PLUS,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("60", "STATUS"), "EXECUTED");
  EXPECT_NEAR(shim::S().positions[0].sl, 1.08320, 1e-9);
  EXPECT_NEAR(shim::S().positions[1].sl, 1.08680, 1e-9);
  EXPECT_NEAR(shim::S().positions[2].sl, 1.08400, 1e-9);

  shim::S().positions.clear();
  Open("EURUSD", true, 0.10, 1.08490, 0);  // bid 1.08500: entry + 2 pips lies above it
  Order("61", "61,BE_PLUS,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_NE(Result("61", "REASON").find("price has not moved far enough"), std::string::npos)
      << Result("61", "REASON");
  Order("62", "62,BE_PLUS,0.10,USDJPY,0,0");
  a.Timer();
  EXPECT_EQ(Result("62", "REASON"), "no open position on USDJPY");
}

TEST_F(CompanionOrders, CloseHalfKeepsTheRestAndRefusesWhatCannotBeHalved) {
  Open("EURUSD", true, 0.05, 1.08300, 0);
  Order("70", "70,CLOSE_50,0.10,EURUSD,0,0");
  a.Timer();
  ASSERT_EQ(shim::S().positions.size(), 1u);
  EXPECT_NEAR(shim::S().positions[0].volume, 0.03, 1e-9) << "0.02 closed, rounded down";
  EXPECT_EQ(Result("70", "VOLUME"), "0.02");
  shim::S().positions[0].volume = 0.01;
  Order("71", "71,CLOSE_50,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("71", "REASON"), "0.01 lots cannot be halved with a minimum of 0.01");
  EXPECT_NEAR(shim::S().positions[0].volume, 0.01, 1e-9);
}

TEST_F(CompanionOrders, CloseReverseAndCloseAll) {
  Open("EURUSD", true, 0.30, 1.08300, 0);
  Open("XAUUSD", false, 0.10, 2350.00, 0);
  Order("80", "80,REVERSE,0.10,EURUSD,20,0");
  a.Timer();
  EXPECT_EQ(Result("80", "STATUS"), "EXECUTED") << Result("80", "REASON");
  ASSERT_EQ(shim::S().positions.size(), 2u);
  const shim::Position& r = shim::S().positions[1];
  EXPECT_EQ(r.symbol, "EURUSD");
  EXPECT_FALSE(r.buy);
  EXPECT_DOUBLE_EQ(r.volume, 0.30);
  EXPECT_NEAR(r.sl, 1.08700, 1e-9) << "20 pips above the new sell's bid";
  Order("81", "81,CLOSE,0.10,EURUSD,0,0");
  a.Timer();
  ASSERT_EQ(shim::S().positions.size(), 1u);
  EXPECT_EQ(shim::S().positions[0].symbol, "XAUUSD");
  Order("82", "82,CLOSE,0.10,ALL,0,0");
  a.Timer();
  EXPECT_TRUE(shim::S().positions.empty());
  EXPECT_EQ(Get("QV_OpenPositions.json"), "[]");
  Order("83", "83,REVERSE,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("83", "REASON"), "no position on EURUSD to reverse");
}

TEST_F(CompanionOrders, InterruptedOrderIsReportedNotRunAgain) {
  Put("QV_OrderTaken_90.csv", "90,BUY,0.10,EURUSD,0,0", 600);
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  restarted.Timer();
  EXPECT_TRUE(shim::S().positions.empty());
  EXPECT_EQ(Result("90", "STATUS"), "REJECTED");
  EXPECT_FALSE(Has("QV_OrderTaken_90.csv"));
}

// An older workspace: one slot, never deleted, no results.
class CompanionSignalSlot : public CompanionTest {};

TEST_F(CompanionSignalSlot, SlotRecordsExecuteOncePerIdAcrossChartsAndRestarts) {
  Put("QV_TradeSignal.csv", "500,BUY,0.10,EURUSD,0,0", 300);
  QvCompanion a;
  a.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  a.Timer();
  EXPECT_TRUE(shim::S().positions.empty()) << "a record found old at start is history";
  Put("QV_TradeSignal.csv", "501,BUY,0.10,EURUSD,0,0");
  QvCompanion b;
  b.Init(Chart(1002, "EURUSD"), Settings("EURUSD"));
  a.Timer();
  b.Timer();
  a.Timer();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  EXPECT_FALSE(Has("QV_TradeResult_501.txt"));
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  restarted.Timer();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  Put("QV_TradeSignal.csv", "502,SELL,0.10,EURUSD,0,0");
  Put("QV_Order_503.csv", "503,SELL,0.10,EURUSD,0,0");
  restarted.Timer();
  EXPECT_EQ(shim::S().positions.size(), 2u);
  EXPECT_TRUE(Has("QV_Order_503.csv")) << "order files wait for ORDER_FILES=1";
}

class CompanionDuties : public CompanionTest {};

TEST_F(CompanionDuties, LaunchKillAndSnapshot) {
  shim::M().fakeUtc = 1765195199;  // 11:59:59 UTC, 14:59:59 on the server: bars are the server's
  QvCompanion a;
  a.Init(Chart(5678, "XAUUSD"), Settings("XAUUSD"));
  EXPECT_EQ(Get("QV_Launch_5678.txt"),
            "HWND=5678\nSYMBOL=XAUUSD\nINTERVAL=60\nTHEME=dark\nUSER_ID=trader7\nMODE=WORKSTATION\n"
            "ACCOUNT=5550001");
  std::string shared = Get("QV_AICopilotData.json");
  EXPECT_EQ(shared, Get("QV_AICopilotData_5678.json"));
  for (const char* field :
       {"\"Symbol\":\"XAUUSD\"", "\"CurrentPrice\":2341.20", "\"Timeframe\":\"H1\"",
        "\"BarTime\":1765202400,", "\"CurrentSpreadPts\":30", "\"CurrentHourUTC\":11",
        "\"MarketClosed\":false", "\"D1_High\":", "\"ATR_14\":", "\"PipSize\":0.1"})
    EXPECT_NE(shared.find(field), std::string::npos) << field << " in " << shared;
  a.Timer();
  EXPECT_NE(Get("QV_AICopilotData.json").find("\"BarTime\":1765202400,"), std::string::npos);
  shim::M().fakeUtc = 1765195200;  // the next bar opens
  a.Timer();
  EXPECT_NE(Get("QV_AICopilotData.json").find("\"BarTime\":1765206000,"), std::string::npos);

  EXPECT_TRUE(a.Deinit(REASON_CHARTCHANGE));
  EXPECT_FALSE(Has("QV_Kill_5678.txt")) << "a symbol change keeps the overlay";
  EXPECT_TRUE(a.Deinit(REASON_REMOVE));
  EXPECT_TRUE(Has("QV_Kill_5678.txt"));
}

TEST_F(CompanionDuties, CommentTellsWhetherTheWorkspaceIsAlive) {
  QvCompanion a;
  a.Init(Chart(5678, "EURUSD"), Settings("EURUSD"));
  EXPECT_NE(shim::S().comment.find("daemon NOT running"), std::string::npos);
  Put("QV_Active_999999999.txt", "ACTIVE=" + std::to_string(GetTickCount64()));
  Put("QV_Active_5678.txt", "ACTIVE=" + std::to_string(GetTickCount64() - 60000));
  a.SlowDuties(true);
  EXPECT_NE(shim::S().comment.find("daemon running | overlay not running"), std::string::npos)
      << shim::S().comment;
}

}  // namespace
