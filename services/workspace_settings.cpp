#include "services/workspace_settings.h"

#include <cstdlib>

#include "services/workspace_secrets.h"

namespace {

enum class Rule { kPercent, kLots, kCount, kHour, kSwitch, kFlag, kText, kLongText };

struct Member {
  const char* name;
  Rule rule;
};

// clang-format off
constexpr Member kMembers[] = {
    {"qv_default_risk_pct", Rule::kPercent},      {"qv_constitution_daily_loss", Rule::kPercent},
    {"qv_hud_risk_val", Rule::kPercent},          {"qv_hud_lot_val", Rule::kLots},
    {"qv_max_spread_pts", Rule::kCount},          {"qv_autotrader_threshold", Rule::kCount},
    {"qv_autotrader_daily_cap", Rule::kCount},    {"qv_hour_start", Rule::kHour},
    {"qv_hour_end", Rule::kHour},                 {"qv_autotrader", Rule::kSwitch},
    {"qv_sess_asian", Rule::kFlag},               {"qv_sess_lon", Rule::kFlag},
    {"qv_sess_nyam", Rule::kFlag},                {"qv_sess_nypm", Rule::kFlag},
    {"qv_hud_mode", Rule::kText},                 {"qv_hud_sl", Rule::kText},
    {"qv_hud_tp", Rule::kText},                   {"qv_default_rr", Rule::kText},
    {"qv_exec_interval", Rule::kText},            {"qv_active_strategy", Rule::kText},
    {"qv_byos_name", Rule::kLongText},            {"qv_byos_entry", Rule::kLongText},
    {"qv_byos_invalidation", Rule::kLongText},    {"qv_byos_rr", Rule::kLongText},
    {"qv_byos_cot_policy", Rule::kLongText},
};
// clang-format on

constexpr std::size_t kMaxValueBytes = 4096;

const Member* Find(const std::string& name) {
  for (const Member& m : kMembers) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

// A plain decimal ("1", "0.5", "12.25"): what the vault's fields hold; no sign, exponent or
// blank, so the companion and the HUD read the same number.
bool Decimal(const std::string& text, double* value) {
  if (text.empty() || text.size() > 16) return false;
  bool dot = false;
  bool digit = false;
  for (const char c : text) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  if (!digit || text.front() == '.' || text.back() == '.') return false;
  *value = std::strtod(text.c_str(), nullptr);
  return true;
}

bool WholeNumber(const std::string& text, long long* value) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

// Line breaks and tabs belong in the playbook texts; no other control character anywhere.
bool PlainText(const std::string& value, bool lines) {
  for (const unsigned char c : value) {
    if (c == 0x7F || (c < 0x20 && !(lines && (c == '\n' || c == '\t' || c == '\r')))) return false;
  }
  return true;
}

}  // namespace

std::string SettingRuleBroken(const std::string& name, const std::string& value) {
  const Member* member = Find(name);
  if (!member) return "not a setting the workspace keeps";
  if (value.size() > kMaxValueBytes) return "longer than 4096 bytes";
  double number = 0;
  long long whole = 0;
  switch (member->rule) {
    case Rule::kPercent:
      return Decimal(value, &number) && number > 0 && number <= 100
                 ? ""
                 : "not a number above 0 and at most 100";
    case Rule::kLots:
      return Decimal(value, &number) && number > 0 && number <= 1000
                 ? ""
                 : "not a number above 0 and at most 1000";
    case Rule::kCount:
      return WholeNumber(value, &whole) && whole <= 100000 ? ""
                                                           : "not a whole number from 0 to 100000";
    case Rule::kHour:
      return value.empty() || (WholeNumber(value, &whole) && whole <= 23)
                 ? ""
                 : "not empty or an hour from 0 to 23";
    case Rule::kSwitch:
      return value == "1" || value == "0" ? "" : "not 1 or 0";
    case Rule::kFlag:
      return value == "true" || value == "false" ? "" : "not true or false";
    case Rule::kText:
      return PlainText(value, false) ? "" : "holds a control character";
    case Rule::kLongText:
      return PlainText(value, true) ? "" : "holds a control character";
  }
  return "not a setting the workspace keeps";
}

SettingsUpdate ParseSettingsUpdate(const JsonValue& object) {
  SettingsUpdate update;
  update.readable = object.IsObject();
  for (std::size_t i = 0; i < object.names.size(); ++i) {
    const std::string& name = object.names[i];
    const JsonValue& value = object.items[i];
    const std::string why =
        value.IsString() ? SettingRuleBroken(name, value.text) : std::string("not a string");
    if (why.empty()) {
      update.set[name] = value.text;
    } else {
      update.refused.push_back(name + ": " + why);
    }
  }
  return update;
}

Migration ParseMigration(const std::string& json) {
  Migration migration;
  JsonValue root;
  if (!ParseJson(json, &root) || !root.IsObject()) return migration;
  migration.readable = true;
  if (const JsonValue* keys = root.Find("keys")) migration.keys = ParseSecretsSet(WriteJson(*keys));
  if (const JsonValue* settings = root.Find("settings")) {
    migration.settings = ParseSettingsUpdate(*settings);
    if (migration.settings.set.erase("qv_autotrader") != 0) {
      migration.settings.refused.push_back("qv_autotrader: the AutoTrader starts off");
    }
  }
  return migration;
}

std::string StoredSettingsJson(const WorkspaceSettings& settings) {
  JsonValue root = JsonObject();
  for (const auto& [name, value] : settings) root.Set(name, JsonString(value));
  return WriteJson(root);
}

WorkspaceSettings ParseStoredSettings(const std::string& json) {
  JsonValue root;
  if (!ParseJson(json, &root)) return {};
  return ParseSettingsUpdate(root).set;
}

std::string CompanionConfigText(const std::string& existingConfig,
                                const WorkspaceSettings& settings) {
  JsonValue root;
  if (!ParseJson(existingConfig, &root) || !root.IsObject()) root = JsonObject();
  JsonValue out = JsonObject();
  for (std::size_t i = 0; i < root.names.size(); ++i) {
    bool key = false;
    for (const std::string& n : ProviderKeyNames()) key = key || n == root.names[i];
    if (!key) out.Set(root.names[i], root.items[i]);
  }
  auto number = [&](const char* setting, const char* member) {
    const auto found = settings.find(setting);
    if (found != settings.end()) out.Set(member, JsonNumber(found->second));
  };
  number("qv_default_risk_pct", "risk_pct");
  number("qv_constitution_daily_loss", "max_dd");
  number("qv_max_spread_pts", "max_spread");
  number("qv_autotrader_threshold", "confidence_threshold");
  number("qv_autotrader_daily_cap", "daily_cap");
  for (const auto& [setting, member] :
       {std::pair<const char*, const char*>{"qv_hour_start", "hour_start"},
        std::pair<const char*, const char*>{"qv_hour_end", "hour_end"}}) {
    const auto found = settings.find(setting);
    // An emptied hour field is null, as the vault sent it.
    if (found != settings.end()) {
      out.Set(member, found->second.empty() ? JsonValue() : JsonNumber(found->second));
    }
  }
  const auto autotrader = settings.find("qv_autotrader");
  out.Set("autotrader",
          JsonNumber(autotrader != settings.end() && autotrader->second == "1" ? "1" : "0"));
  return WriteJson(out);
}

JsonValue SettingsPush(const WorkspaceSettings& settings, const OrderLimits& limits) {
  JsonValue values = JsonObject();
  for (const auto& [name, value] : settings) values.Set(name, JsonString(value));
  JsonValue limitValues = JsonObject();
  limitValues.Set("max_lots", JsonString(limits.maxLotsText));
  limitValues.Set("max_risk_pct", JsonString(limits.maxRiskText));
  JsonValue push = JsonObject();
  push.Set("type", JsonString("settings"));
  push.Set("values", values);
  push.Set("limits", limitValues);
  return push;
}
