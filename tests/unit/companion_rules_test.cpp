// Sizing and level rules of the terminal companion against hand-computed cases on a
// 5-digit pair, a 3-digit pair, gold and an index quoted finer than it trades.
#include "companion_fixture.h"

namespace {

QvSymbolSpec Contract(const char* name) {
  QvSymbolSpec s;
  EXPECT_TRUE(QvRules::LoadSpec(name, s)) << name;
  return s;
}

using CompanionRules = CompanionTest;

TEST_F(CompanionRules, PipIsTenPointsOnFractionalQuotesAndGold) {
  EXPECT_DOUBLE_EQ(QvRules::PipSize(Contract("EURUSD")), 0.0001);
  EXPECT_DOUBLE_EQ(QvRules::PipSize(Contract("USDJPY")), 0.01);
  EXPECT_DOUBLE_EQ(QvRules::PipSize(Contract("XAUUSD")), 0.1);
  EXPECT_DOUBLE_EQ(QvRules::PipSize(Contract("US500")), 0.01);
}

// A price near the market is never read as a distance, whatever its magnitude.
TEST_F(CompanionRules, LevelsTellPricesFromDistances) {
  struct Case {
    const char* sym;
    const char* text;
    bool buy, stop;
    double want;
  } cases[] = {
      {"EURUSD", "20", true, true, 1.08310},      // 20 pips below the ask 1.08510
      {"EURUSD", "1.0830", true, true, 1.08300},  // a price, not 1.08 pips
      {"EURUSD", "40", false, false, 1.08100},    // sell target 40 pips below the bid
      {"USDJPY", "25", true, true, 149.760},      // 25 pips of 0.01 below 150.010
      {"USDJPY", "149.5", false, true, 149.500},  // a sell's stop typed as a price (checked later)
      {"XAUUSD", "20", true, true, 2339.50},      // 20 pips of 0.10 below 2341.50
      {"XAUUSD", "2331.5", true, true, 2331.50},
      {"US500", "4990", true, true, 4990.00},    // whole-number price on an index
      {"US500", "4990.1", true, true, 4990.00},  // rounded to the quarter-point tick
      {"US500", "0", true, true, 0},
      {"US500", "", true, false, 0},
  };
  for (const Case& c : cases) {
    QvSymbolSpec s = Contract(c.sym);
    double price = -1;
    string why;
    ASSERT_TRUE(QvRules::ResolveLevel(s, c.text, c.buy, c.stop, false, price, why))
        << c.sym << " " << c.text << ": " << why;
    EXPECT_NEAR(price, c.want, 1e-9) << c.sym << " " << c.text;
  }
  QvSymbolSpec eur = Contract("EURUSD");
  double price = 0;
  string why;
  EXPECT_TRUE(QvRules::ResolveLevel(eur, "150", true, true, true, price, why));
  EXPECT_NEAR(price, 1.08360, 1e-9) << "150 points when distances are points";
  EXPECT_FALSE(QvRules::ResolveLevel(eur, "1.08.3", true, true, false, price, why));
  EXPECT_NE(why.find("not a number"), string::npos);
  EXPECT_FALSE(QvRules::ResolveLevel(eur, "50000", true, true, false, price, why))
      << "a distance beyond the price itself reaches below zero";
}

TEST_F(CompanionRules, StopsCheckedAgainstTheBrokersQuoteAndStopsLevel) {
  shim::S().symbols["EURUSD"].stopsLevel = 30;  // 3 pips
  QvSymbolSpec s = Contract("EURUSD");
  string why;
  EXPECT_TRUE(QvRules::CheckStops(s, true, 1.08470, 1.08600, why)) << why;
  EXPECT_FALSE(QvRules::CheckStops(s, true, 1.08480, 0, why)) << "2 pips under the bid";
  EXPECT_NE(why.find("below the bid 1.08500 by the minimum stop distance of 30 points"),
            string::npos)
      << why;
  EXPECT_FALSE(QvRules::CheckStops(s, true, 1.08600, 0, why)) << "a buy's stop above the bid";
  EXPECT_FALSE(QvRules::CheckStops(s, false, 0, 1.08520, why)) << "sell target above the ask";
  EXPECT_NE(why.find("take profit 1.08520 is not below the ask 1.08510"), string::npos) << why;
  EXPECT_TRUE(QvRules::CheckStops(s, false, 1.08600, 1.08300, why)) << why;
}

TEST_F(CompanionRules, LotsRoundToTheStepAndClampToTheLimits) {
  QvSymbolSpec eur = Contract("EURUSD");
  EXPECT_DOUBLE_EQ(QvRules::RoundLots(eur, 0.123), 0.12);
  EXPECT_DOUBLE_EQ(QvRules::RoundLots(eur, 0.001), 0.01);
  EXPECT_DOUBLE_EQ(QvRules::RoundLots(eur, 250), 100);
  QvSymbolSpec idx = Contract("US500");
  EXPECT_DOUBLE_EQ(QvRules::RoundLots(idx, 0.26), 0.3);
  EXPECT_DOUBLE_EQ(QvRules::RoundLots(idx, 0.04), 0.1);
}

// Risk sizing: equity x percent over (distance / tick size x tick value), rounded down.
TEST_F(CompanionRules, RiskSizingMatchesHandComputedLots) {
  struct Case {
    const char* sym;
    double equity, pct, entry, sl, lots;
  } cases[] = {
      {"EURUSD", 10000, 1.0, 1.08510, 1.08310, 0.50},  // 100 / (200 ticks x 1.00)
      {"USDJPY", 5000, 2.0, 150.010, 149.760, 0.59},   // 100 / (250 x 0.66667) = 0.59998
      {"XAUUSD", 10000, 1.0, 2341.50, 2331.50, 0.10},  // 100 / (1000 x 1.00)
      {"US500", 100000, 1.0, 5000.50, 4990.00, 1.9},   // 1000 / (42 x 12.5) = 1.904
  };
  for (const Case& c : cases) {
    double lots = 0;
    string why;
    ASSERT_TRUE(QvRules::RiskLots(Contract(c.sym), c.equity, c.pct, c.entry, c.sl, lots, why))
        << c.sym << ": " << why;
    EXPECT_NEAR(lots, c.lots, 1e-9) << c.sym;
  }
  double lots = 0;
  string why;
  EXPECT_FALSE(QvRules::RiskLots(Contract("EURUSD"), 10000, 1.0, 1.08510, 0, lots, why));
  EXPECT_EQ(why, "a risk size needs a stop loss");
  EXPECT_FALSE(QvRules::RiskLots(Contract("XAUUSD"), 500, 0.5, 2341.50, 2331.50, lots, why))
      << "2.50 at risk cannot buy the minimum 0.01 lots";
  EXPECT_NE(why.find("below the minimum volume 0.01, which would risk 10.00"), string::npos) << why;
}

TEST_F(CompanionRules, ConfigAndTradingHours) {
  QvConfig c;
  QvRules::ParseConfig(
      "{\"gemini\":\"k\",\"risk_pct\":1.5,\"max_dd\":\"4.5\",\"max_spread\":35,"
      "\"hour_start\":7,\"hour_end\":18,\"autotrader\":1}",
      c);
  EXPECT_DOUBLE_EQ(c.riskPct, 1.5);
  EXPECT_DOUBLE_EQ(c.maxDd, 4.5);
  EXPECT_DOUBLE_EQ(c.maxSpread, 35);
  EXPECT_EQ(c.hourStart, 7);
  EXPECT_EQ(c.hourEnd, 18);
  EXPECT_TRUE(QvRules::HourAllowed(7, 18, 18));
  EXPECT_FALSE(QvRules::HourAllowed(7, 18, 19));
  EXPECT_TRUE(QvRules::HourAllowed(22, 3, 2));
  EXPECT_FALSE(QvRules::HourAllowed(22, 3, 12));
  int a = 0, b = 0;
  EXPECT_TRUE(QvRules::ParseHours(" 8-17 ", a, b));
  EXPECT_EQ(a, 8);
  EXPECT_EQ(b, 17);
  EXPECT_FALSE(QvRules::ParseHours("8 to 17", a, b));
  EXPECT_FALSE(QvRules::ParseHours("8-25", a, b));
}

}  // namespace
