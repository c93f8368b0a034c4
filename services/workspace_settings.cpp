#include "services/workspace_settings.h"

#include <cstdlib>

namespace {

enum class Rule { kPercent, kCount, kHour, kFlag, kText, kMode, kRiskText, kLotText };

struct Member {
  const char* name;
  Rule rule;
};

// clang-format off
constexpr Member kMembers[] = {
    {"risk_pct", Rule::kPercent},        {"max_dd", Rule::kPercent},
    {"max_spread", Rule::kCount},        {"confidence_threshold", Rule::kCount},
    {"daily_cap", Rule::kCount},         {"hour_start", Rule::kHour},
    {"hour_end", Rule::kHour},           {"autotrader", Rule::kFlag},
    {"sess_asian", Rule::kFlag},         {"sess_lon", Rule::kFlag},
    {"sess_nyam", Rule::kFlag},          {"sess_nypm", Rule::kFlag},
    {"default_rr", Rule::kText},         {"exec_interval", Rule::kText},
    {"active_strategy", Rule::kText},    {"byos_name", Rule::kText},
    {"byos_entry", Rule::kText},         {"byos_invalidation", Rule::kText},
    {"byos_rr", Rule::kText},            {"byos_cot_policy", Rule::kText},
    {"model", Rule::kText},              {"hud_mode", Rule::kMode},
    {"hud_risk_val", Rule::kRiskText},   {"hud_lot_val", Rule::kLotText},
};
// clang-format on

// The custom playbook's rules are the longest text the HUD keeps.
constexpr std::size_t kMaxTextBytes = 8000;

const Member* Find(const std::string& name) {
  for (const Member& m : kMembers) {
    if (name == m.name) return &m;
  }
  return nullptr;
}

bool NumberIn(const JsonValue& v, double low, double high, bool whole) {
  if (v.type != JsonValue::Type::Number) return false;
  const double n = std::strtod(v.text.c_str(), nullptr);
  if (whole && v.text.find_first_of(".eE") != std::string::npos) return false;
  return n >= low && n <= high;
}

// A size as the ticket shows it ("1.0", "0.10"): a plain positive decimal up to high.
bool DecimalText(const JsonValue& v, double high) {
  if (!v.IsString() || v.text.empty() || v.text.size() > 12 || v.text.front() == '.' ||
      v.text.back() == '.') {
    return false;
  }
  bool dot = false;
  for (const char c : v.text) {
    if (c == '.' && !dot) {
      dot = true;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  const double n = std::strtod(v.text.c_str(), nullptr);
  return n > 0 && n <= high;
}

// Line breaks and tabs belong in the playbook texts; no other control character anywhere.
bool PlainText(const JsonValue& v) {
  if (!v.IsString() || v.text.size() > kMaxTextBytes) return false;
  for (const unsigned char c : v.text) {
    if (c == 0x7F || (c < 0x20 && c != '\n' && c != '\t' && c != '\r')) return false;
  }
  return true;
}

bool IsProviderKey(const std::string& name) {
  for (const std::string& n : ProviderKeyNames()) {
    if (n == name) return true;
  }
  return false;
}

}  // namespace

std::string SettingRuleBroken(const std::string& name, const JsonValue& value) {
  const Member* member = Find(name);
  if (!member) return "not a setting the workspace keeps";
  switch (member->rule) {
    case Rule::kPercent:
      return value.type != JsonValue::Type::Number ||
                     std::strtod(value.text.c_str(), nullptr) <= 0 ||
                     !NumberIn(value, 0, 100, false)
                 ? "not a number above 0 and at most 100"
                 : "";
    case Rule::kCount:
      return NumberIn(value, 0, 100000, true) ? "" : "not a whole number from 0 to 100000";
    case Rule::kHour:
      return value.type == JsonValue::Type::Null || NumberIn(value, 0, 23, true)
                 ? ""
                 : "not null or an hour from 0 to 23";
    case Rule::kFlag:
      return value.type == JsonValue::Type::Bool ? "" : "not true or false";
    case Rule::kText:
      return PlainText(value) ? "" : "not a text of at most 8000 bytes without control characters";
    case Rule::kMode:
      return value.IsString() && (value.text == "LOT" || value.text == "RISK") ? ""
                                                                               : "not LOT or RISK";
    case Rule::kRiskText:
      return DecimalText(value, 100) ? "" : "not a percentage text above 0 and at most 100";
    case Rule::kLotText:
      return DecimalText(value, 1000) ? "" : "not a lot size text above 0 and at most 1000";
  }
  return "not a setting the workspace keeps";
}

SettingsUpdate ParseSettingsUpdate(const JsonValue& object) {
  SettingsUpdate update;
  update.readable = object.IsObject();
  for (std::size_t i = 0; i < object.names.size(); ++i) {
    const std::string why = SettingRuleBroken(object.names[i], object.items[i]);
    if (why.empty()) {
      update.set.Set(object.names[i], object.items[i]);
    } else {
      update.refused.push_back(object.names[i] + ": " + why);
    }
  }
  return update;
}

WorkspaceSettings ParseStoredSettings(const std::string& json) {
  JsonValue root;
  if (!ParseJson(json, &root)) return JsonObject();
  return ParseSettingsUpdate(root).set;
}

std::string CompanionConfigText(const std::string& existingConfig,
                                const WorkspaceSettings& settings) {
  JsonValue root;
  if (!ParseJson(existingConfig, &root) || !root.IsObject()) root = JsonObject();
  JsonValue out = JsonObject();
  for (std::size_t i = 0; i < root.names.size(); ++i) {
    if (!IsProviderKey(root.names[i])) out.Set(root.names[i], root.items[i]);
  }
  for (const char* member : {"risk_pct", "max_dd", "max_spread", "confidence_threshold",
                             "hour_start", "hour_end", "daily_cap"}) {
    if (const JsonValue* v = settings.Find(member)) out.Set(member, *v);
  }
  const JsonValue* autotrader = settings.Find("autotrader");
  out.Set("autotrader", JsonNumber(autotrader && autotrader->boolean ? "1" : "0"));
  return WriteJson(out);
}

Migration ParseMigration(const std::string& json) {
  Migration migration;
  JsonValue root;
  if (!ParseJson(json, &root) || !root.IsObject()) return migration;
  migration.readable = true;
  if (const JsonValue* keys = root.Find("secrets")) {
    migration.keys = ParseSecretsSet(WriteJson(*keys));
    if (migration.keys.changesRelay()) {
      migration.keys.telegramToken.reset();
      migration.keys.telegramChatId.reset();
      migration.keys.telegramUserId.reset();
      migration.keys.refused.push_back("the Telegram relay: it needs the trader's confirmation");
    }
  }
  if (const JsonValue* settings = root.Find("settings")) {
    migration.settings = ParseSettingsUpdate(*settings);
    if (migration.settings.set.Find("autotrader")) {
      JsonValue kept = JsonObject();
      for (std::size_t i = 0; i < migration.settings.set.names.size(); ++i) {
        if (migration.settings.set.names[i] != "autotrader") {
          kept.Set(migration.settings.set.names[i], migration.settings.set.items[i]);
        }
      }
      migration.settings.set = kept;
      migration.settings.refused.push_back("autotrader: the AutoTrader starts off");
    }
  }
  return migration;
}

JsonValue SettingsPush(const WorkspaceSettings& settings, const OrderLimits& limits) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("settings"));
  for (std::size_t i = 0; i < settings.names.size(); ++i) {
    push.Set(settings.names[i], settings.items[i]);
  }
  JsonValue limitValues = JsonObject();
  limitValues.Set("max_lots", JsonString(limits.maxLotsText));
  limitValues.Set("max_risk_pct", JsonString(limits.maxRiskText));
  push.Set("limits", limitValues);
  return push;
}
