#pragma once
// The settings that govern orders, kept by the workspace (workspace_settings.json in the data
// folder) rather than in the chart site's storage, which the site's own scripts can write: the
// ticket's sizes and stops, the vault's risk rules, the AutoTrader's switch and rules, the
// playbook. The HUD reads them from the host's push and changes them with SETTINGS_SET; the
// companion's members of QV_AIConfig.json are written from them.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/json.h"
#include "services/order_limits.h"
#include "services/workspace_secrets.h"

// Member name (the HUD's former storage key) -> value, as the HUD keeps it: a string.
using WorkspaceSettings = std::map<std::string, std::string>;

// Empty text when the value obeys the member's rule, otherwise why not; an unknown name is
// refused too.
[[nodiscard]] std::string SettingRuleBroken(const std::string& name, const std::string& value);

struct SettingsUpdate {
  WorkspaceSettings set;
  std::vector<std::string> refused;  // "name: why"
  bool readable = false;             // the text was one JSON object
};
// SETTINGS_SET:<json>, and the settings of MIGRATE: members that break their rule are
// refused, the others kept.
[[nodiscard]] SettingsUpdate ParseSettingsUpdate(const JsonValue& object);

[[nodiscard]] std::string StoredSettingsJson(const WorkspaceSettings& settings);
// The stored file; members that no longer pass their rule are left out.
[[nodiscard]] WorkspaceSettings ParseStoredSettings(const std::string& json);

// QV_AIConfig.json after a change: risk_pct, max_dd, max_spread, confidence_threshold,
// hour_start, hour_end, autotrader and daily_cap from the settings (each only when its
// setting is stored; autotrader always, 0 unless switched on), every other member of the
// existing text kept as it was, provider keys never.
[[nodiscard]] std::string CompanionConfigText(const std::string& existingConfig,
                                              const WorkspaceSettings& settings);

// MIGRATE:{"keys":{...},"settings":{...}}: what the HUD found in the site's storage, taken
// only where the workspace has nothing yet. The site's own scripts could write that storage,
// so two things never come from it: the AutoTrader's switch (it starts off) and the Telegram
// relay (it needs the trader's confirmation).
struct Migration {
  SecretsUpdate keys;
  SettingsUpdate settings;
  bool readable = false;
};
[[nodiscard]] Migration ParseMigration(const std::string& json);

// {"type":"settings","values":{...},"limits":{"max_lots":"..","max_risk_pct":".."}}
[[nodiscard]] JsonValue SettingsPush(const WorkspaceSettings& settings, const OrderLimits& limits);
