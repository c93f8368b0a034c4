#include "services/workspace_settings.h"

#include <gtest/gtest.h>
#include <string>

#include "services/order_limits.h"

namespace {

SettingsUpdate Update(const std::string& json) {
  JsonValue v;
  EXPECT_TRUE(ParseJson(json, &v)) << json;
  return ParseSettingsUpdate(v);
}

TEST(WorkspaceSettings, EachMemberKeepsItsRule) {
  const struct {
    const char* name;
    const char* json;
    bool ok;
  } cases[] = {
      {"risk_pct", "1.5", true},
      {"risk_pct", "0", false},
      {"risk_pct", "-1", false},
      {"risk_pct", "101", false},
      {"risk_pct", "\"1.5\"", false},
      {"max_spread", "35", true},
      {"max_spread", "3.5", false},
      {"daily_cap", "0", true},
      {"hour_start", "null", true},
      {"hour_start", "23", true},
      {"hour_end", "24", false},
      {"autotrader", "true", true},
      {"autotrader", "1", false},
      {"sess_lon", "false", true},
      {"hud_mode", "\"RISK\"", true},
      {"hud_mode", "\"ALL\"", false},
      {"hud_lot_val", "\"0.10\"", true},
      {"hud_lot_val", "\"5000\"", false},
      {"hud_risk_val", "\"1.0\"", true},
      {"hud_risk_val", "\"1e1\"", false},
      {"byos_entry", "\"line 1\\nline 2\"", true},
      {"default_rr", "\"1:2\\u0001\"", false},
      {"hud_x", "10", false},
      {"qv_byok_vault", "\"{}\"", false},
  };
  for (const auto& c : cases) {
    JsonValue v;
    ASSERT_TRUE(ParseJson(c.json, &v)) << c.json;
    EXPECT_EQ(SettingRuleBroken(c.name, v).empty(), c.ok) << c.name << "=" << c.json;
  }
  EXPECT_FALSE(SettingRuleBroken("byos_entry", JsonString(std::string(8001, 'x'))).empty());
}

// A member that breaks its rule is refused by name; the others of the same message stand.
TEST(WorkspaceSettings, AnUpdateKeepsTheGoodMembersAndNamesTheRefused) {
  const SettingsUpdate u = Update(R"({"risk_pct":1,"autotrader":1,"max_spread":"x","evil":"1"})");
  EXPECT_TRUE(u.readable);
  EXPECT_EQ(WriteJson(u.set), R"({"risk_pct":1})");
  ASSERT_EQ(u.refused.size(), 3u);
  EXPECT_EQ(u.refused[0], "autotrader: not true or false");
  EXPECT_EQ(WriteJson(ParseStoredSettings(R"({"hour_start":99,"sess_lon":true})")),
            R"({"sess_lon":true})")
      << "a hand-edited file cannot smuggle in what the channel refuses";
}

TEST(WorkspaceSettings, CompanionMembersComeFromTheSettingsAndKeysNeverStay) {
  const SettingsUpdate u = Update(
      R"({"risk_pct":1.5,"max_dd":4.5,"max_spread":35,"confidence_threshold":85,"hour_start":7,)"
      R"("hour_end":null,"daily_cap":3,"active_strategy":"core"})");
  EXPECT_EQ(CompanionConfigText(R"({"gemini":"k","model":"x","risk_pct":9,"autotrader":1})", u.set),
            R"({"model":"x","risk_pct":1.5,"autotrader":0,"max_dd":4.5,"max_spread":35,)"
            R"("confidence_threshold":85,"hour_start":7,"hour_end":null,"daily_cap":3})");
  EXPECT_EQ(CompanionConfigText("not json", Update(R"({"autotrader":true})").set),
            R"({"autotrader":1})");
}

// The site's scripts could write the storage the HUD migrates from: they must not arm the
// AutoTrader (the review's S2) or plant a relay (S3) that way.
TEST(WorkspaceSettings, AMigrationNeverArmsTheAutoTraderOrSetsARelay) {
  const Migration m =
      ParseMigration(R"({"secrets":{"gemini":"g-1","tg_token":"999:EVIL","tg_chatid":"424242"},)"
                     R"("settings":{"autotrader":true,"risk_pct":1.5}})");
  ASSERT_TRUE(m.readable);
  EXPECT_EQ(m.keys.set.at("gemini"), "g-1");
  EXPECT_FALSE(m.keys.changesRelay());
  EXPECT_EQ(WriteJson(m.settings.set), R"({"risk_pct":1.5})");
  EXPECT_FALSE(ParseMigration("[]").readable);
}

TEST(WorkspaceSettings, ThePushCarriesEveryStoredMemberAndTheLimits) {
  EXPECT_EQ(
      WriteJson(SettingsPush(Update(R"({"risk_pct":1,"autotrader":false})").set, OrderLimits())),
      R"({"type":"settings","risk_pct":1,"autotrader":false,)"
      R"("limits":{"max_lots":"1.00","max_risk_pct":"2.0"}})");
}

TEST(OrderLimits, TheFileGivesTheLimitsAndABrokenLineKeepsTheDefault) {
  std::string problems;
  OrderLimits l = ParseOrderLimits(DefaultOrderLimitsText(), &problems);
  EXPECT_EQ(problems, "");
  EXPECT_EQ(l.maxLotsText, "1.00");
  EXPECT_EQ(l.maxRiskText, "2.0");
  l = ParseOrderLimits("# mine\r\nMAX_LOTS = 0.5 \r\nMAX_RISK_PCT=-3\nMAX_LOTS=0.25\n", &problems);
  EXPECT_DOUBLE_EQ(l.maxLots, 0.25) << "a later line wins";
  EXPECT_EQ(l.maxRiskText, "2.0");
  EXPECT_EQ(problems, "MAX_RISK_PCT");
  l = ParseOrderLimits("", &problems);
  EXPECT_EQ(problems, "MAX_LOTS, MAX_RISK_PCT");
}

// Fixed lots passed every cap before (the review's S5): 50 lots from a page or a bot command.
TEST(OrderLimits, OpeningOrdersOverALimitAreRefusedWithTheReason) {
  OrderLimits l;
  const struct {
    const char* record;
    bool ok;
  } cases[] = {
      {"1,BUY,0.10,XAUUSD,0,0", true},          {"1,SELL,1.00,XAUUSD,0,0", true},
      {"1,SELL,50.00,XAUUSD,20,40", false},     {"1,BUY,R:2.0,XAUUSD,2029,2100", true},
      {"1,BUY,R:10.0,XAUUSD,2029,2100", false}, {"1,BUY,lots,XAUUSD,0,0", false},
      {"1,BUY,R:,XAUUSD,0,0", false},           {"1,BUY,1e9,XAUUSD,0,0", false},
      {"1,CLOSE,0.10,ALL,0,0", true},           {"1,BE_PLUS,0.10,CURRENT,0,0", true},
      {"1,CLOSE_50,99,EURUSD,0,0", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OrderLimitBroken(*SplitOrderRecord(c.record), l).empty(), c.ok) << c.record;
  }
  EXPECT_EQ(OrderLimitBroken(*SplitOrderRecord("1,SELL,50.00,XAUUSD,20,40"), l),
            "size 50.00 lots is over the workspace's largest lot size (1.00 lots)");
  EXPECT_EQ(OrderLimitBroken(*SplitOrderRecord("AT_X_1_BUY,BUY,R:10.0,XAUUSD,2029,2100"), l),
            "risk 10.0 % is over the workspace's largest risk per order (2.0 %)");
}

}  // namespace
