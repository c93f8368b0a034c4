// Several terminals and accounts over one common folder: an order fills only on the account
// it names, the chart it came from first; CURRENT goes to that account's chart; positions
// are published per account; a symbol is resolved over the terminal's own list before the
// claim; an account's orders run in the order they were sent, one at a time.
#include "bridge/order_account.h"
#include "companion_fixture.h"

namespace {

class CompanionAccounts : public CompanionTest {
 protected:
  int demo = 0;   // terminal of account 111 (the fixture's first)
  int live = 0;   // terminal of account 222
  QvCompanion a;  // chart 1, account 111
  QvCompanion b;  // chart 2, account 222

  void SetUp() override {
    CompanionTest::SetUp();
    UseOrderFiles();
    shim::S().login = 111;
    live = Terminal(222);
    shim::Use(live);
    b.Init(Chart(2, "EURUSD"), Settings("EURUSD"));
    shim::Use(demo);
    a.Init(Chart(1, "EURUSD"), Settings("EURUSD"));
  }

  static void Pass(int terminal, QvCompanion& c) {
    shim::Use(terminal);
    c.Timer();
  }

  // As the workspace writes an order that knows its account and chart.
  void Order(const std::string& id, const std::string& record, const std::string& added,
             long age = 0) {
    Put("QV_Order_" + id + ".csv", record + "\n" + added + "END=1\n", age);
  }

  static size_t Positions(int terminal) {
    shim::Use(terminal);
    shim::SettleAll();
    return shim::S().positions.size();
  }
};

// With a demo and a live terminal open, an order clicked on the demo chart filled on
// whichever account polled first.
TEST_F(CompanionAccounts, AnOrderFillsOnlyOnTheAccountItNames) {
  Order("10", "10,BUY,0.10,EURUSD,0,0", "ACCOUNT=222\nCHART=2\nSEQ=10\n");
  Pass(demo, a);
  EXPECT_TRUE(Has("QV_Order_10.csv")) << "account 111 leaves account 222's order";
  Pass(live, b);
  EXPECT_EQ(Result("10", "STATUS"), "EXECUTED");
  Order("11", "11,SELL,0.20,EURUSD,0,0", "ACCOUNT=111\nCHART=1\nSEQ=11\n");
  Pass(live, b);
  Pass(demo, a);
  EXPECT_EQ(Result("11", "STATUS"), "EXECUTED");
  EXPECT_EQ(Positions(demo), 1u);
  EXPECT_EQ(Positions(live), 1u);

  // Each account's positions in its own file; the shared file (for earlier readers) is the
  // smallest running handle's, so it does not flip between the accounts.
  Pass(demo, a);
  Pass(live, b);
  EXPECT_NE(Get("QV_OpenPositions_111.json").find("\"volume\":0.20"), std::string::npos);
  EXPECT_EQ(Get("QV_OpenPositions_111.json").find("\"volume\":0.10"), std::string::npos);
  EXPECT_NE(Get("QV_OpenPositions_222.json").find("\"volume\":0.10"), std::string::npos);
  EXPECT_EQ(Get("QV_OpenPositions.json"), Get("QV_OpenPositions_111.json"));
  EXPECT_NE(Get("QV_Chart_1.txt").find("ACCOUNT=111"), std::string::npos);
  EXPECT_NE(Get("QV_Chart_2.txt").find("ACCOUNT=222"), std::string::npos);
  EXPECT_NE(Get("QV_Launch_2.txt").find("ACCOUNT=222"), std::string::npos);

  // An order that names no account (an older workspace) is still taken by any chart.
  Put("QV_Order_12.csv", "12,BUY,0.10,EURUSD,0,0\n");
  Pass(demo, a);
  EXPECT_EQ(Result("12", "STATUS"), "EXECUTED");
}

TEST_F(CompanionAccounts, TheChartAnOrderCameFromGetsItFirst) {
  shim::Use(demo);
  QvCompanion c;  // chart 3, also account 111
  c.Init(Chart(3, "XAUUSD"), Settings("XAUUSD"));
  a.SlowDuties(true);
  Order("20", "20,BUY,0.10,EURUSD,0,0", "ACCOUNT=111\nCHART=3\n");
  Pass(demo, a);
  EXPECT_TRUE(Has("QV_Order_20.csv")) << "chart 3 runs, so it has its order alone at first";
  Order("20", "20,BUY,0.10,EURUSD,0,0", "ACCOUNT=111\nCHART=3\n", 3);
  Pass(demo, a);
  EXPECT_EQ(Result("20", "STATUS"), "EXECUTED") << "after the grace any chart of the account";
  Order("21", "21,BUY,0.10,EURUSD,0,0", "ACCOUNT=111\nCHART=99\n");
  Pass(demo, a);
  EXPECT_EQ(Result("21", "STATUS"), "EXECUTED") << "a chart without a companion waits for none";
}

// CURRENT used to go to the smallest handle across all terminals and accounts.
TEST_F(CompanionAccounts, CurrentIsTheSymbolOfTheAccountsOwnChart) {
  shim::Use(live);
  QvCompanion d;  // chart 4, account 222, USDJPY
  d.Init(Chart(4, "USDJPY"), Settings("USDJPY"));
  b.SlowDuties(true);
  Order("30", "30,BUY,0.10,CURRENT,0,0", "ACCOUNT=222\n");
  Pass(demo, a);
  Pass(live, d);
  EXPECT_TRUE(Has("QV_Order_30.csv")) << "account 222's first chart is 2";
  Pass(live, b);
  ASSERT_EQ(Positions(live), 1u);
  EXPECT_EQ(shim::S().positions[0].symbol, "EURUSD");
  Order("31", "31,SELL,0.10,CURRENT,0,0", "ACCOUNT=222\nCHART=4\n");
  Pass(live, b);
  Pass(live, d);
  ASSERT_EQ(Positions(live), 2u);
  EXPECT_EQ(shim::S().positions[1].symbol, "USDJPY") << "the chart it names";
}

TEST_F(CompanionAccounts, AnOrderNoCompanionOfItsAccountTakesExpiresWithTheReason) {
  Order("40", "40,BUY,0.10,EURUSD,0,0", "ACCOUNT=333\n");
  Pass(demo, a);
  EXPECT_TRUE(Has("QV_Order_40.csv"));
  Order("40", "40,BUY,0.10,EURUSD,0,0", "ACCOUNT=333\n", 90);
  Pass(demo, a);
  EXPECT_EQ(Result("40", "REASON"), "expired: no companion of account 333 took it");
  EXPECT_EQ(Positions(demo) + Positions(live), 0u);
}

// XAUUSD for XAUUSD.m resolved only on the chart that showed it; another chart that claimed
// first refused the order as "not quoted".
TEST_F(CompanionAccounts, SymbolsResolveOverTheTerminalsListBeforeTheClaim) {
  shim::Use(live);
  shim::S().login = 111;  // a second terminal of the same account, without gold
  shim::S().symbols.erase("XAUUSD");
  shim::Use(demo);
  shim::Symbol gold = shim::S().symbols["XAUUSD"];
  shim::S().symbols.erase("XAUUSD");
  gold.marketWatch = false;
  shim::AddSymbol("XAUUSD.m", gold);
  shim::AddSymbol("GER40.cash", shim::S().symbols["US500"]);
  shim::AddSymbol("GER40.spot", shim::S().symbols["US500"]);
  a.SlowDuties(true);
  b.SlowDuties(true);
  Put("QV_Order_50.csv", "50,BUY,0.10,XAUUSD,0,0\n");
  Pass(live, b);
  EXPECT_TRUE(Has("QV_Order_50.csv")) << "a terminal without the symbol does not claim it";
  Pass(demo, a);
  EXPECT_EQ(Result("50", "STATUS"), "EXECUTED") << Result("50", "REASON");
  ASSERT_EQ(Positions(demo), 1u);
  EXPECT_EQ(shim::S().positions[0].symbol, "XAUUSD.m");
  Put("QV_Order_51.csv", "51,BUY,0.10,GER40,0,0\n", 6);
  Put("QV_Order_52.csv", "52,BUY,0.10,NOPE,0,0\n", 6);
  Pass(demo, a);
  EXPECT_EQ(Result("51", "REASON"),
            "symbol GER40 is ambiguous in this terminal: GER40.cash and GER40.spot");
  EXPECT_EQ(Result("52", "REASON"), "symbol NOPE is not quoted in this terminal");
}

// An AT_ BUY written before a CLOSE ALL ran after it (file names sort AT_ last) and stayed
// open; two charts of one account could interleave either way.
TEST_F(CompanionAccounts, AnAccountsOrdersRunInTheOrderSent) {
  Order("AT_EURUSD_1765000000_BUY", "AT_EURUSD_1765000000_BUY,BUY,0.10,EURUSD,0,0",
        "ACCOUNT=111\nCHART=1\nSEQ=100\n");
  Order("1765000000101", "1765000000101,CLOSE,0.10,ALL,0,0", "ACCOUNT=111\nCHART=1\nSEQ=101\n");
  Pass(demo, a);
  EXPECT_EQ(Result("AT_EURUSD_1765000000_BUY", "STATUS"), "EXECUTED");
  EXPECT_EQ(Result("1765000000101", "STATUS"), "EXECUTED");
  EXPECT_EQ(Positions(demo), 0u) << "the BUY first, then the CLOSE ALL";

  shim::Use(demo);
  QvCompanion c;  // chart 3 of the same account
  c.Init(Chart(3, "EURUSD"), Settings("EURUSD"));
  a.SlowDuties(true);
  Order("200", "200,BUY,0.10,EURUSD,0,0", "ACCOUNT=111\nCHART=1\nSEQ=200\n");
  Order("201", "201,CLOSE,0.10,ALL,0,0", "ACCOUNT=111\nCHART=3\nSEQ=201\n");
  Pass(demo, c);
  EXPECT_TRUE(Has("QV_Order_201.csv")) << "201 waits while 200 is not done";
  Pass(demo, a);
  EXPECT_EQ(Result("200", "STATUS"), "EXECUTED");
  Pass(demo, c);
  EXPECT_EQ(Result("201", "STATUS"), "EXECUTED");
  EXPECT_EQ(Positions(demo), 0u);
}

TEST_F(CompanionAccounts, OneExecutorPerAccountAtATime) {
  shim::Use(demo);
  QvCompanion c;  // chart 3 of account 111, running: its lock is honoured
  c.Init(Chart(3, "EURUSD"), Settings("EURUSD"));
  a.SlowDuties(true);
  std::string own = root + "/QuorvaleCompanion/";
  std::ofstream(own + "Lock_111.txt") << "OWNER=3";
  Put("QV_Order_60.csv", "60,BUY,0.10,EURUSD,0,0\n");
  Pass(demo, a);
  EXPECT_TRUE(Has("QV_Order_60.csv")) << "another chart of the account is executing";
  // A lock left by a chart that no longer runs is broken once it is old.
  std::ofstream(own + "Lock_111.txt") << "OWNER=77";
  struct utimbuf t;
  t.actime = t.modtime = time(nullptr) - 45;
  utime((own + "Lock_111.txt").c_str(), &t);
  Pass(demo, a);
  EXPECT_EQ(Result("60", "STATUS"), "EXECUTED");
  EXPECT_TRUE(shim::LogContains("removed the executor lock of account 111 left by chart 77"));
}

// Write -> read: the chart file each companion writes is what the outbox reads to name an
// order's account.
TEST_F(CompanionAccounts, EachChartFileReadsBackAsItsChartAndAccount) {
  Pass(demo, a);
  Pass(live, b);
  const auto first = ParseChartRegistration(Get("QV_Chart_1.txt"), 1);
  const auto second = ParseChartRegistration(Get("QV_Chart_2.txt"), 2);
  ASSERT_TRUE(first.has_value()) << Get("QV_Chart_1.txt");
  ASSERT_TRUE(second.has_value()) << Get("QV_Chart_2.txt");
  EXPECT_EQ(first->account, "111");
  EXPECT_EQ(second->account, "222");
  EXPECT_EQ(first->symbol, "EURUSD");
  EXPECT_EQ(AccountsOf({*second, *first}), (std::vector<std::string>{"111", "222"}));
  EXPECT_FALSE(ParseChartRegistration(Get("QV_Chart_1.txt"), 2)) << "the name's handle decides";
}

}  // namespace
