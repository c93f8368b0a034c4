// The terminal companion's order intake against the paper trade server: each id executed
// once (across passes, restarts and two charts), the trader's rules, the server's answers,
// the management actions, and bad files ignored.
#include <algorithm>
#include <optional>

#include "bridge/order_files.h"
#include "bridge/request_target.h"
#include "companion_fixture.h"
#include "host/json.h"
#include "services/visual_journal.h"

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
  // Write -> read through the workspace's readers: the capture request as the visual
  // journal and the request routing read it, the positions as JSON (what the page parses).
  const CaptureRequest journal = ParseCaptureRequest(capture, "https://default.example");
  EXPECT_EQ(journal.ticket, ticket);
  EXPECT_EQ(journal.symbol, "EURUSD");
  EXPECT_EQ(journal.action, "BUY");
  EXPECT_EQ(journal.userId, "trader7");
  EXPECT_EQ(RequestChartHandle(capture), 1001u);
  JsonValue positions;
  ASSERT_TRUE(ParseJson(Get("QV_OpenPositions.json"), &positions)) << Get("QV_OpenPositions.json");
  ASSERT_EQ(positions.type, JsonValue::Type::Array);
  ASSERT_EQ(positions.items.size(), 1u);
  EXPECT_EQ(positions.items[0].StringAt("ticket"), ticket);

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
  Order("27", "27,BUY,0.10,EURUSD,20,40\nACCOUNT=5550001");  // cut before its END=1
  // A marker that cannot be created stops the order, and says so (not "already executed").
  shim::HoldOpen("QuorvaleCompanion\\~Done_28.txt.1001.tmp");
  Order("28", "28,BUY,0.10,EURUSD,20,40");
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
  EXPECT_NE(Result("27", "REASON").find("cut short"), std::string::npos) << Result("27", "REASON");
  EXPECT_EQ(Result("28", "REASON"), "the marker of order 28 cannot be written; not executed");
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
  EXPECT_EQ(Result("41", "REASON"), "stop loss 1.08400 is not above the ask 1.08510");
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

// Every age is one file date against another: on a PC whose local time, UTC, server time
// and file clock all differ, the old comparison with TimeLocal expired every order.
TEST_F(CompanionOrders, AgesAreTakenOnTheFileClock) {
  Order("95", "95,BUY,0.10,EURUSD,0,0", 30);
  Order("96", "96,BUY,0.10,EURUSD,0,0", 70);
  a.Timer();
  EXPECT_EQ(Result("95", "STATUS"), "EXECUTED") << Result("95", "REASON");
  EXPECT_EQ(Result("96", "REASON"), "expired");
  std::string own = root + "/QuorvaleCompanion/";
  for (int days : {6, 8}) {
    std::string marker = own + "Done_old" + std::to_string(days) + ".txt";
    std::ofstream(marker) << "OWNER=1";
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) - days * 86400;
    utime(marker.c_str(), &t);
  }
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  EXPECT_TRUE(std::ifstream(own + "Done_old6.txt").good());
  EXPECT_FALSE(std::ifstream(own + "Done_old8.txt").good()) << "markers go after a week";
}

// A crash between the marker and the result. The old advisor answered REJECTED even for a
// fill (inviting a resend), and only at start-up for files over two minutes old.
class CompanionRecovery : public CompanionOrders {
 protected:
  std::string Marker(const std::string& id) {
    std::ifstream in(root + "/QuorvaleCompanion/Done_" + id + ".txt");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void SetMarker(const std::string& id, const std::string& text, long age) {
    std::string path = root + "/QuorvaleCompanion/Done_" + id + ".txt";
    std::ofstream(path) << text;
    struct utimbuf t;
    t.actime = t.modtime = time(nullptr) - age;
    utime(path.c_str(), &t);
  }
  // What OrderSend did before the advisor was cut off.
  static ulong Filled(const std::string& id) {
    MqlTradeRequest req{};
    req.action = TRADE_ACTION_DEAL;
    req.symbol = "EURUSD";
    req.volume = 0.10;
    req.type = ORDER_TYPE_BUY;
    req.type_filling = ORDER_FILLING_FOK;
    req.comment = "Quorvale " + id;
    MqlTradeResult res{};
    EXPECT_TRUE(OrderSend(req, res));
    return res.order;
  }
};

TEST_F(CompanionRecovery, AFillCutOffIsReportedExecutedWithItsTicket) {
  // The outcome reached the marker: the result is written from it.
  Order("70", "70,BUY,0.10,EURUSD,0,0");
  a.Timer();
  std::string ticket = Result("70", "TICKET");
  EXPECT_NE(Marker("70").find("TICKET=" + ticket), std::string::npos) << Marker("70");
  unlink(Path("QV_TradeResult_70.txt").c_str());
  Put("QV_OrderTaken_70.csv", "70,BUY,0.10,EURUSD,0,0\n");
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  EXPECT_EQ(Result("70", "STATUS"), "EXECUTED");
  EXPECT_EQ(Result("70", "TICKET"), ticket);

  // Cut off between OrderSend and the marker's outcome: the history has the fill, found by
  // its comment, also when the broker shortened the comment.
  const std::string id = "AT_EURUSD_1765000000_BUY";
  ulong filled = Filled(id);
  shim::SettleAll();
  SetMarker(id, "OWNER=1001\nACTION=BUY\nSYMBOL=EURUSD", 5);
  Put("QV_OrderTaken_" + id + ".csv", id + ",BUY,0.10,EURUSD,0,0\n", 5);
  QvCompanion again;
  again.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  EXPECT_EQ(Result(id, "STATUS"), "EXECUTED") << Result(id, "REASON");
  EXPECT_EQ(Result(id, "TICKET"), std::to_string(filled));
  EXPECT_EQ(shim::S().positions.size(), 2u) << "never run again";
  // The workspace takes the answer as whole.
  EXPECT_TRUE(ParseTradeResult(Get("QV_TradeResult_" + id + ".txt"), id).has_value());
}

TEST_F(CompanionRecovery, WithoutAFillTheFateIsUnknownOrNeverRun) {
  SetMarker("71", "OWNER=1001\nACTION=BUY\nSYMBOL=EURUSD", 5);
  Put("QV_OrderTaken_71.csv", "71,BUY,0.10,EURUSD,0,0\n", 5);
  Put("QV_OrderTaken_72.csv", "72,BUY,0.10,EURUSD,0,0\n", 600);
  QvCompanion restarted;
  restarted.Init(Chart(1001, "EURUSD"), Settings("EURUSD"));
  EXPECT_EQ(Result("71", "STATUS"), "UNKNOWN");
  EXPECT_EQ(Result("71", "REASON"),
            "the terminal stopped while executing this order; check your positions");
  const std::optional<TradeResult> read = ParseTradeResult(Get("QV_TradeResult_71.txt"), "71");
  ASSERT_TRUE(read.has_value()) << "the workspace reads the new status";
  EXPECT_EQ(read->status, TradeResult::Status::kUnknown);
  EXPECT_EQ(Result("72", "REASON"), "the terminal stopped before executing this order");
  EXPECT_FALSE(Has("QV_OrderTaken_71.csv"));
  EXPECT_FALSE(Has("QV_OrderTaken_72.csv"));
  Order("72", "72,BUY,0.10,EURUSD,0,0");
  restarted.Timer();
  EXPECT_TRUE(shim::S().positions.empty()) << "an answered order never runs";
}

// Recovery runs every second, for a chart that stopped while this one keeps running, and
// leaves an order whose executor still runs.
TEST_F(CompanionRecovery, RunsEverySecondAndLeavesALiveExecutor) {
  QvCompanion busy;
  busy.Init(Chart(1003, "XAUUSD"), Settings("XAUUSD"));
  SetMarker("73", "OWNER=1003\nACTION=CLOSE\nSYMBOL=ALL", 60);
  Put("QV_OrderTaken_73.csv", "73,CLOSE,0.10,ALL,0,0\n", 60);
  SetMarker("74", "OWNER=1002\nACTION=CLOSE\nSYMBOL=ALL", 5);
  Put("QV_OrderTaken_74.csv", "74,CLOSE,0.10,ALL,0,0\n", 5);
  a.SlowDuties(true);
  EXPECT_TRUE(Has("QV_OrderTaken_73.csv")) << "chart 1003 runs: it is still executing 73";
  EXPECT_TRUE(Has("QV_OrderTaken_74.csv")) << "1002's marker is only 5 s old";
  SetMarker("74", "OWNER=1002\nACTION=CLOSE\nSYMBOL=ALL", 20);
  shim::Advance(1000);
  a.Timer();
  EXPECT_EQ(Result("74", "STATUS"), "UNKNOWN") << "chart 1002 is gone";
  EXPECT_TRUE(Has("QV_OrderTaken_73.csv"));
}

// Which file an order comes from, and the trader's settings, when a read fails.
class CompanionModes : public CompanionOrders {};

// One failed read of QV_Protocol.txt sent the advisor back to the slot for a pass: it ran
// the slot's record and answered the order file "already executed" for a fill.
TEST_F(CompanionModes, OrderFileModeLatchesOnceAnnounced) {
  unlink(Path("QV_Protocol.txt").c_str());
  shim::Advance(1000);
  Order("600", "600,BUY,0.10,EURUSD,0,0");
  Put("QV_TradeSignal.csv", "600,BUY,0.10,EURUSD,0,0");
  a.Timer();
  UseOrderFiles();
  shim::Advance(1000);
  a.Timer();
  EXPECT_EQ(Result("600", "STATUS"), "EXECUTED") << Result("600", "REASON");
  shim::SettleAll();
  EXPECT_EQ(shim::S().positions.size(), 1u);
  // Gone for longer (a workspace of the first version took the folder over): the slot.
  unlink(Path("QV_Protocol.txt").c_str());
  for (int i = 0; i < 12; i++) {
    shim::Advance(1000);
    a.Timer();
  }
  Put("QV_TradeSignal.csv", "601,BUY,0.10,EURUSD,0,0");
  a.Timer();
  shim::SettleAll();
  EXPECT_EQ(shim::S().positions.size(), 2u);
  Put("QV_Protocol.txt", "ORDER_FILES=0");
  EXPECT_TRUE(shim::LogContains("reading QV_TradeSignal.csv"));
}

// A configuration that failed to read turned the risk caps off until it changed again.
TEST_F(CompanionModes, TheLastGoodSettingsStayWhenTheFileCannotBeRead) {
  Put("QV_AIConfig.json", "{\"max_dd\":2.0,\"risk_pct\":1.0}");
  a.SlowDuties(true);
  shim::AddClosedDeal(-300);  // down 3% today
  Put("QV_AIConfig.json", "{\"max_dd\":2.0,\"risk_pct\":" + std::string(70000, ' ') + "1.0}", 5);
  shim::Advance(1000);
  a.Timer();
  Order("80", "80,BUY,0.10,EURUSD,0,0");
  Order("AT_EURUSD_1765000000_SELL", "AT_EURUSD_1765000000_SELL,SELL,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("80", "REASON"),
            "the workspace's risk settings (QV_AIConfig.json) cannot be read");
  EXPECT_EQ(Result("AT_EURUSD_1765000000_SELL", "REASON"),
            "the workspace's risk settings (QV_AIConfig.json) cannot be read");
  Put("QV_AIConfig.json", "{\"max_dd\":2.0,\"risk", 2);  // cut short
  shim::Advance(1000);
  Order("81", "81,BUY,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_NE(Result("81", "REASON").find("cannot be read"), std::string::npos);
  Put("QV_AIConfig.json", "{\"max_dd\":5.0}");
  shim::Advance(1000);
  Order("82", "82,BUY,0.10,EURUSD,0,0");
  a.Timer();
  EXPECT_EQ(Result("82", "STATUS"), "EXECUTED") << Result("82", "REASON");
}

// The terminal opens files without delete sharing: a reader elsewhere makes the rename over
// a file fail. The old advisor printed that on every 20 ms pass.
TEST_F(CompanionModes, AFileHeldOpenIsRetriedAndToldOnceAMinute) {
  shim::HoldOpen("Quorvale\\QV_OpenPositions_5550001.json");
  for (int i = 0; i < 5; i++) {
    std::string id = std::to_string(90 + i);
    Order(id, id + ",BUY,0.10,EURUSD,0,0");
    a.Timer();
  }
  EXPECT_EQ(shim::LogCount("cannot replace Quorvale\\QV_OpenPositions_5550001.json"), 1);
  shim::Release("Quorvale\\QV_OpenPositions_5550001.json");
  a.Timer();
  const std::string written = Get("QV_OpenPositions_5550001.json");
  EXPECT_EQ(std::count(written.begin(), written.end(), '{'), 5) << written;
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

// The order file as the workspace writes it and the companion reads it: every field and
// added line comes back. The record line alone is also the first version's slot, which has
// no line end, so only whole-file replacement keeps a cut record from being read; a cut in
// the added lines is refused by the reader itself.
TEST(OrderFileBody, TheCompanionReadsBackWhatTheWorkspaceWrote) {
  Order sent;
  sent.id = "1765000000123";
  sent.action = "BUY";
  sent.size = "R:1.5";
  sent.symbol = "XAUUSD";
  sent.sl = "2330.5";
  sent.tp = "";
  sent.account = "7000002";
  sent.chart = 132456;
  sent.seq = 1765000000123;
  sent.slKind = "PRICE";
  sent.tpKind = "DISTANCE";
  const std::string body = OrderFileBody(sent);
  EXPECT_EQ(body,
            "1765000000123,BUY,R:1.5,XAUUSD,2330.5,\nACCOUNT=7000002\nCHART=132456\n"
            "SEQ=1765000000123\nSL_KIND=PRICE\nTP_KIND=DISTANCE\nEND=1\n");
  QvOrder read;
  string why;
  ASSERT_TRUE(QvOrders::ParseFile(body, read, why)) << why;
  EXPECT_EQ(read.id, sent.id);
  EXPECT_EQ(read.action, sent.action);
  EXPECT_EQ(read.size, sent.size);
  EXPECT_EQ(read.symbol, sent.symbol);
  EXPECT_EQ(read.sl, sent.sl);
  EXPECT_EQ(read.tp, sent.tp);
  EXPECT_EQ(read.account, sent.account);
  EXPECT_EQ(read.chart, 132456);
  EXPECT_EQ(read.seq, 1765000000123);
  EXPECT_EQ(read.slKind, "PRICE");
  EXPECT_EQ(read.tpKind, "DISTANCE");
  const std::size_t recordEnd = body.find('\n') + 1;
  // Up to END=1 without its line feed, which is the whole order still.
  for (std::size_t n = recordEnd + 1; n + 1 < body.size(); ++n) {
    QvOrder cut;
    EXPECT_FALSE(QvOrders::ParseFile(body.substr(0, n), cut, why)) << n;
  }
  Order bare = sent;
  bare.account.clear();
  bare.chart = bare.seq = 0;
  bare.slKind.clear();
  bare.tpKind.clear();
  EXPECT_EQ(OrderFileBody(bare), "1765000000123,BUY,R:1.5,XAUUSD,2330.5,\n")
      << "nothing added: the form the second version reads";
  ASSERT_TRUE(QvOrders::ParseFile(OrderFileBody(bare), read, why)) << why;
  EXPECT_EQ(read.account, "");
}

}  // namespace
