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
    const char* value;
    bool ok;
  } cases[] = {
      {"qv_default_risk_pct", "1.5", true},
      {"qv_default_risk_pct", "0", false},
      {"qv_default_risk_pct", "-1", false},
      {"qv_default_risk_pct", "1e3", false},
      {"qv_default_risk_pct", "101", false},
      {"qv_hud_lot_val", "0.10", true},
      {"qv_hud_lot_val", "5000", false},
      {"qv_max_spread_pts", "35", true},
      {"qv_max_spread_pts", "3.5", false},
      {"qv_hour_start", "", true},
      {"qv_hour_start", "23", true},
      {"qv_hour_end", "24", false},
      {"qv_autotrader", "1", true},
      {"qv_autotrader", "true", false},
      {"qv_sess_lon", "false", true},
      {"qv_sess_lon", "0", false},
      {"qv_byos_entry", "line 1\nline 2", true},
      {"qv_default_rr", "1:2\n", false},
      {"qv_hud_x", "10", false},
      {"qv_byok_vault", "{}", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettingRuleBroken(c.name, c.value).empty(), c.ok) << c.name << "=" << c.value;
  }
  EXPECT_FALSE(SettingRuleBroken("qv_byos_entry", std::string(4097, 'x')).empty());
}

// A member that breaks its rule is refused by name; the others of the same message stand.
TEST(WorkspaceSettings, AnUpdateKeepsTheGoodMembersAndNamesTheRefused) {
  const SettingsUpdate u = Update(
      R"({"qv_default_risk_pct":"1.0","qv_autotrader":1,"qv_max_spread_pts":"x","evil":"1"})");
  EXPECT_TRUE(u.readable);
  EXPECT_EQ(u.set, (WorkspaceSettings{{"qv_default_risk_pct", "1.0"}}));
  ASSERT_EQ(u.refused.size(), 3u);
  EXPECT_EQ(u.refused[0], "qv_autotrader: not a string");
  const WorkspaceSettings back = ParseStoredSettings(
      StoredSettingsJson({{"qv_hour_start", "7"}, {"qv_active_strategy", "core"}}));
  EXPECT_EQ(back, (WorkspaceSettings{{"qv_active_strategy", "core"}, {"qv_hour_start", "7"}}));
  EXPECT_EQ(ParseStoredSettings(R"({"qv_hour_start":"99","qv_sess_lon":"true"})"),
            (WorkspaceSettings{{"qv_sess_lon", "true"}}))
      << "a hand-edited file cannot smuggle in what the channel refuses";
}

TEST(WorkspaceSettings, CompanionMembersComeFromTheSettingsAndKeysNeverStay) {
  const WorkspaceSettings s = {
      {"qv_default_risk_pct", "1.5"},   {"qv_constitution_daily_loss", "4.5"},
      {"qv_max_spread_pts", "35"},      {"qv_autotrader_threshold", "85"},
      {"qv_hour_start", "7"},           {"qv_hour_end", ""},
      {"qv_autotrader_daily_cap", "3"}, {"qv_active_strategy", "core"}};
  EXPECT_EQ(CompanionConfigText(R"({"gemini":"k","model":"x","risk_pct":9,"autotrader":1})", s),
            R"({"model":"x","risk_pct":1.5,"autotrader":0,"max_dd":4.5,"max_spread":35,)"
            R"("confidence_threshold":85,"daily_cap":3,"hour_start":7,"hour_end":null})");
  EXPECT_EQ(CompanionConfigText("not json", {{"qv_autotrader", "1"}}), R"({"autotrader":1})");
}

// The site's scripts could write the storage the HUD migrates from: they must not arm the
// AutoTrader (the review's S2) or plant a relay (S3) that way.
TEST(WorkspaceSettings, AMigrationNeverArmsTheAutoTraderOrSetsARelay) {
  const Migration m = ParseMigration(
      R"({"keys":{"gemini":"g-1","tg_token":"999:EVIL"},"settings":{"qv_autotrader":"1",)"
      R"("qv_default_risk_pct":"1.5"},"tg_chatid":"424242"})");
  ASSERT_TRUE(m.readable);
  EXPECT_EQ(m.keys.set.at("gemini"), "g-1");
  EXPECT_EQ(m.keys.set.count("tg_token"), 0u);
  EXPECT_EQ(m.settings.set, (WorkspaceSettings{{"qv_default_risk_pct", "1.5"}}));
  EXPECT_FALSE(ParseMigration("[]").readable);
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
    EXPECT_EQ(OrderLimitBroken(c.record, l).empty(), c.ok) << c.record;
  }
  EXPECT_EQ(OrderLimitBroken("1,SELL,50.00,XAUUSD,20,40", l),
            "size 50.00 lots is over the workspace's largest lot size (1.00 lots)");
  EXPECT_EQ(OrderLimitBroken("AT_X_1_BUY,BUY,R:10.0,XAUUSD,2029,2100", l),
            "risk 10.0 % is over the workspace's largest risk per order (2.0 %)");
}

}  // namespace
