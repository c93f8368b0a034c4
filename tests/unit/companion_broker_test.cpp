// The terminal companion against a broker's rules, on the strict shim: FIFO and netting
// accounts, fills that show a moment after OrderSend, filling policies by execution mode,
// freeze levels, the account's and the symbol's permissions, the day's balance with
// deposits and fees, lots outside the limits. Each case is a way the advisor lost money or
// reported a failure as success on a real terminal before.
#include "companion_fixture.h"

namespace {

class CompanionBroker : public CompanionTest {
 protected:
  QvCompanion a;

  void SetUp() override {
    CompanionTest::SetUp();
    UseOrderFiles();
  }

  void Start(const QvSettings& set) { a.Init(Chart(1001, "EURUSD"), set); }
  void Start() { Start(Settings("EURUSD")); }

  void Order(const std::string& id, const std::string& record) {
    Put("QV_Order_" + id + ".csv", record + "\n");
    a.Timer();
  }

  // A position the server already had, opened at the given millisecond.
  static ulong Held(const char* sym, bool buy, double vol, long msc, double sl = 0) {
    shim::SettleAll();
    ulong t = shim::S().nextTicket++;
    shim::S().positions.push_back({t, sym, buy, vol, 1.08300, sl, 0, 1, msc / 1000, msc, ""});
    return t;
  }

  static double Volume(const char* sym) {
    double v = 0;
    for (const shim::Position& p : shim::S().positions)
      if (p.symbol == sym) v += p.buy ? p.volume : -p.volume;
    return v;
  }
};

// Closing a newer position first is refused on a FIFO account; the old advisor closed only
// the oldest and still said EXECUTED.
TEST_F(CompanionBroker, FifoAccountClosesOldestFirstAndHalvesFromTheOldest) {
  shim::S().fifoClose = true;
  Start();
  Held("EURUSD", true, 0.10, 3000);
  ulong oldest = Held("EURUSD", true, 0.10, 1000);
  Held("EURUSD", true, 0.10, 2000);
  Order("1", "1,CLOSE_50,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("1", "STATUS"), "EXECUTED") << Result("1", "REASON");
  EXPECT_NEAR(Volume("EURUSD"), 0.15, 1e-9) << "0.15 closed: the oldest whole, 0.05 of the next";
  for (const shim::Position& p : shim::S().positions) EXPECT_NE(p.ticket, oldest);
  Order("2", "2,CLOSE,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("2", "STATUS"), "EXECUTED") << Result("2", "REASON");
  EXPECT_TRUE(shim::S().positions.empty());
  for (const MqlTradeRequest& r : shim::S().requests)
    EXPECT_NE(r.comment.find("Quorvale "), std::string::npos) << "every deal names its order";
}

// A netting account keeps one position per symbol: buys add up, a reverse flips it.
TEST_F(CompanionBroker, NettingAccountAddsReducesAndReverses) {
  shim::S().marginMode = ACCOUNT_MARGIN_MODE_RETAIL_NETTING;
  Start();
  Order("1", "1,BUY,0.10,EURUSD,0,0");
  Order("2", "2,BUY,0.20,EURUSD,0,0");
  ASSERT_EQ(shim::S().positions.size(), 1u);
  EXPECT_NEAR(Volume("EURUSD"), 0.30, 1e-9);
  Order("3", "3,REVERSE,0.10,EURUSD,20,0");
  EXPECT_EQ(Result("3", "STATUS"), "EXECUTED") << Result("3", "REASON");
  EXPECT_NEAR(Volume("EURUSD"), -0.30, 1e-9);
  Order("4", "4,CLOSE,0.10,EURUSD,0,0");
  EXPECT_TRUE(shim::S().positions.empty()) << Result("4", "REASON");
}

// The closes of a reverse show a moment after OrderSend; the old advisor looked at once,
// refused to reverse and left the trader flat. The net volume 0.1 + 0.2 is sent as 0.30.
TEST_F(CompanionBroker, ReverseWaitsForItsClosesAndRefusesBeforeClosingAnything) {
  shim::S().settleMs = 300;
  QvSettings set = Settings("EURUSD");
  set.maxLots = 0.25;
  Start(set);
  Held("EURUSD", true, 0.1, 1000);
  Held("EURUSD", true, 0.2, 2000);
  Order("1", "1,REVERSE,0.10,EURUSD,0,0");
  EXPECT_NE(Result("1", "REASON").find("not reversing: 0.3 lots is above the largest order"),
            std::string::npos)
      << Result("1", "REASON");
  EXPECT_NEAR(Volume("EURUSD"), 0.30, 1e-9) << "a refused reverse closes nothing";
  EXPECT_EQ(shim::S().sends, 0);

  a.m_intake.m_exec.m_set.maxLots = 10;
  Order("2", "2,REVERSE,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("2", "STATUS"), "EXECUTED") << Result("2", "REASON");
  shim::SettleAll();
  ASSERT_EQ(shim::S().positions.size(), 1u);
  EXPECT_FALSE(shim::S().positions[0].buy);
  EXPECT_EQ(shim::S().requests.back().volume, 0.3) << "normalised to the volume step";
}

// Instant and Request execution take Fill or Kill only, Return only Exchange execution; the
// old fallback to Return was refused with 10030.
TEST_F(CompanionBroker, FillingPolicyFollowsTheExecutionMode) {
  struct Case {
    long exemode, flags;
    ENUM_ORDER_TYPE_FILLING want;
  } cases[] = {
      {SYMBOL_TRADE_EXECUTION_INSTANT, 0, ORDER_FILLING_FOK},
      {SYMBOL_TRADE_EXECUTION_REQUEST, 0, ORDER_FILLING_FOK},
      {SYMBOL_TRADE_EXECUTION_MARKET, SYMBOL_FILLING_IOC, ORDER_FILLING_IOC},
      {SYMBOL_TRADE_EXECUTION_EXCHANGE, 0, ORDER_FILLING_RETURN},
  };
  Start();
  int n = 0;
  for (const Case& c : cases) {
    shim::S().symbols["EURUSD"].exemode = c.exemode;
    shim::S().symbols["EURUSD"].filling = c.flags;
    std::string id = std::to_string(++n);
    Order(id, id + ",BUY,0.10,EURUSD,0,0");
    EXPECT_EQ(Result(id, "STATUS"), "EXECUTED") << c.exemode << ": " << Result(id, "REASON");
    EXPECT_EQ(shim::S().requests.back().type_filling, c.want) << c.exemode;
  }
}

// Within the freeze level the broker neither closes nor modifies; the order is refused
// with the reason instead of "trade server answer (10029)".
TEST_F(CompanionBroker, FreezeLevelRefusesWithTheReasonBeforeSending) {
  shim::S().symbols["EURUSD"].freezeLevel = 50;
  Start();
  Held("EURUSD", true, 0.10, 1000, 1.08480);  // stop 2 pips under the bid, freeze 5 pips
  Order("1", "1,CLOSE,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("1", "REASON"),
            "the stop loss lies within the freeze level of 50 points of the bid; the broker "
            "allows no change now");
  shim::S().positions[0].sl = 0;
  shim::S().positions[0].tp = 1.08520;  // a target 2 pips above the bid
  Order("2", "2,BE_PLUS,0.10,EURUSD,0,0");
  EXPECT_NE(Result("2", "REASON").find("the take profit lies within the freeze level"),
            std::string::npos)
      << Result("2", "REASON");
  EXPECT_EQ(shim::S().sends, 0);
}

TEST_F(CompanionBroker, PermissionsOfTheAccountAndTheSymbolRefuseWithClearReasons) {
  Start();
  shim::S().accountTradeExpert = false;
  Order("1", "1,BUY,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("1", "REASON"),
            "the broker does not allow expert advisors to trade on account 5550001");
  shim::S().accountTradeExpert = true;
  shim::S().accountTradeAllowed = false;
  Order("2", "2,BUY,0.10,EURUSD,0,0");
  EXPECT_NE(Result("2", "REASON").find("investor password"), std::string::npos);
  shim::S().accountTradeAllowed = true;
  shim::S().symbols["EURUSD"].tradeMode = SYMBOL_TRADE_MODE_CLOSEONLY;
  Held("EURUSD", true, 0.10, 1000);
  Order("3", "3,BUY,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("3", "REASON"), "EURUSD is close-only: no new positions");
  EXPECT_EQ(shim::S().sends, 0);
  Order("4", "4,CLOSE,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("4", "STATUS"), "EXECUTED") << "closing stays allowed";
  shim::S().symbols["EURUSD"].tradeMode = SYMBOL_TRADE_MODE_LONGONLY;
  Order("5", "5,SELL,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("5", "REASON"), "EURUSD allows buys only");
}

// The day's start balance counts trades only, with their fees: a withdrawal is no loss, a
// deposit hides none.
TEST_F(CompanionBroker, DailyLossCountsTradesAndFeesNotDepositsOrWithdrawals) {
  QvSettings set = Settings("EURUSD");
  set.maxDailyLossPct = 2;
  Start(set);
  shim::Deposit(-3000, "withdrawal");
  Order("1", "1,BUY,0.10,EURUSD,0,0");
  EXPECT_EQ(Result("1", "STATUS"), "EXECUTED") << Result("1", "REASON");
  Order("2", "2,CLOSE,0.10,EURUSD,0,0");
  shim::Deposit(8000);
  shim::AddCredit(500);
  shim::AddClosedDeal(-290, 0, -15);  // 2.03% of the day's 15000 with the fee, 1.94% without
  Order("3", "3,BUY,0.10,EURUSD,0,0");
  EXPECT_NE(Result("3", "REASON").find("daily loss cap reached: down 2.0"), std::string::npos)
      << Result("3", "REASON");
}

}  // namespace
