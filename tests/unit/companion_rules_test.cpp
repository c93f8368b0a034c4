// Sizing and level rules of the terminal companion against hand-computed cases on a
// 5-digit pair, a 3-digit pair, gold and an index quoted finer than it trades.
#include <fstream>
#include <sstream>
#include <vector>

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

// The price-or-distance table the HUD's rule is tested against as well.
TEST(CompanionLevels, OneRuleWithTheHud) {
  std::ifstream in(QV_LEVEL_CASES);
  ASSERT_TRUE(in.good()) << QV_LEVEL_CASES;
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    ASSERT_EQ(f.size(), 10u) << line;
    double price = -1;
    string why;
    bool ok = QvLevels::Read(f[0], f[1] == "-" ? "" : f[1], f[2] == "BUY", f[3] == "1",
                             std::stod(f[4]), std::stod(f[5]), std::stoi(f[6]), std::stod(f[7]),
                             f[8] == "1", f[8] == "1" ? "points" : "pips", price, why);
    const std::string& want = f[9];
    if (want.compare(0, 7, "refuse:") == 0) {
      EXPECT_FALSE(ok) << line << " read as " << price;
      EXPECT_NE(why.find(want.substr(7)), string::npos) << line << ": " << why;
    } else {
      ASSERT_TRUE(ok) << line << ": " << why;
      EXPECT_NEAR(price, want == "none" ? 0 : std::stod(want), 1e-9) << line;
    }
    cases++;
  }
  EXPECT_GE(cases, 20);
}

// The level as the order gets it: rounded to the symbol's tick.
TEST_F(CompanionRules, LevelsRoundToTheTick) {
  QvSymbolSpec idx = Contract("US500");
  double price = 0;
  string why;
  ASSERT_TRUE(QvRules::ResolveLevel(idx, "4990.1", "PRICE", true, true, false, price, why)) << why;
  EXPECT_NEAR(price, 4990.00, 1e-9) << "to the quarter-point tick";
  QvSymbolSpec jpy = Contract("USDJPY");
  ASSERT_TRUE(QvRules::ResolveLevel(jpy, "25", "", true, true, false, price, why)) << why;
  EXPECT_NEAR(price, 149.760, 1e-9);
  ASSERT_TRUE(QvRules::ResolveLevel(jpy, "80", "", true, true, true, price, why)) << why;
  EXPECT_NEAR(price, 149.930, 1e-9) << "80 points when distances are points";
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

// A lot below the minimum is refused: raised to the minimum it would risk ten times what
// was asked.
TEST_F(CompanionRules, LotsRoundToTheStepAndStayWithinTheLimits) {
  QvSymbolSpec eur = Contract("EURUSD");
  QvSymbolSpec idx = Contract("US500");
  double lots = 0;
  string why;
  EXPECT_TRUE(QvRules::FixedLots(eur, 0.123, lots, why));
  EXPECT_DOUBLE_EQ(lots, 0.12);
  EXPECT_TRUE(QvRules::FixedLots(idx, 0.26, lots, why));
  EXPECT_DOUBLE_EQ(lots, 0.3);
  EXPECT_FALSE(QvRules::FixedLots(eur, 0.001, lots, why));
  EXPECT_EQ(why, "0.001 lots is below the minimum volume 0.01 of EURUSD");
  EXPECT_FALSE(QvRules::FixedLots(idx, 0.04, lots, why));
  EXPECT_FALSE(QvRules::FixedLots(eur, 250, lots, why));
  EXPECT_EQ(why, "250 lots is above the maximum volume 100.00 of EURUSD");
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
