#pragma once
// The settings that govern orders, kept by the workspace (workspace_settings.json in the data
// folder) rather than in the chart site's storage, which the site's own scripts can write: the
// ticket's sizing, the vault's risk rules, the AutoTrader's switch and rules, the playbook. The
// HUD gets them in the host's push and changes them with SETTINGS_SET; the companion's members
// of QV_AIConfig.json are written from them.
#include <optional>
#include <string>
#include <vector>

#include "host/json.h"
#include "services/order_limits.h"
#include "services/workspace_secrets.h"

// One JSON object: member name -> its value as the HUD sends it (a number, a whole number,
// null for a cleared hour, true or false, or a text).
using WorkspaceSettings = JsonValue;

// Empty text when the value obeys the member's rule, otherwise why not; an unknown name is
// refused too.
[[nodiscard]] std::string SettingRuleBroken(const std::string& name, const JsonValue& value);

struct SettingsUpdate {
  WorkspaceSettings set = JsonObject();
  std::vector<std::string> refused;  // "name: why"
  bool readable = false;             // the text was one JSON object
};
// SETTINGS_SET:<json>, and the settings of MIGRATE: members that break their rule are
// refused, the others kept.
[[nodiscard]] SettingsUpdate ParseSettingsUpdate(const JsonValue& object);

// The stored file; members that no longer pass their rule are left out.
[[nodiscard]] WorkspaceSettings ParseStoredSettings(const std::string& json);

// QV_AIConfig.json after a change: risk_pct, max_dd, max_spread, confidence_threshold,
// hour_start, hour_end, daily_cap from the settings (each only when it is stored), autotrader
// always (1 when switched on, else 0), every other member of the existing text kept as it
// was, provider keys never.
[[nodiscard]] std::string CompanionConfigText(const std::string& existingConfig,
                                              const WorkspaceSettings& settings);

// MIGRATE:{"settings":{...},"secrets":{...}}: what the HUD found in the site's storage, taken
// only where the workspace has nothing yet. The site's own scripts could write that storage,
// so two things never come from it: the AutoTrader's switch (it starts off) and the Telegram
// relay (it needs the trader's confirmation).
struct Migration {
  SecretsUpdate keys;
  SettingsUpdate settings;
  bool readable = false;
};
[[nodiscard]] Migration ParseMigration(const std::string& json);

// {"type":"settings",<every stored member>,"limits":{"max_lots":"..","max_risk_pct":".."}}
[[nodiscard]] JsonValue SettingsPush(const WorkspaceSettings& settings, const OrderLimits& limits);
