// What the HUD asks the workspace to keep (SETTINGS_SET, SECRETS_SET, MIGRATE) and the
// trader's limits file, all text the host did not write. Input: a kind byte, then the text.
// Whatever is taken obeys its rule and reads back as taken; a migration never arms the
// AutoTrader or sets a relay; the companion's file stays one JSON object without a key; the
// limits are always positive and a record over them is refused.
#include "fuzz_support.h"
#include "host/json.h"
#include "services/order_limits.h"
#include "services/workspace_secrets.h"
#include "services/workspace_settings.h"

namespace {

void CheckSettings(const SettingsUpdate& u) {
  for (std::size_t i = 0; i < u.set.names.size(); ++i) {
    FUZZ_CHECK(SettingRuleBroken(u.set.names[i], u.set.items[i]).empty());
  }
  // The stored form reads back as the same members.
  const WorkspaceSettings back = ParseStoredSettings(WriteJson(u.set));
  FUZZ_CHECK(WriteJson(back) == WriteJson(u.set));
}

void CheckKeys(const SecretsUpdate& u) {
  for (const auto& [name, value] : u.set) FUZZ_CHECK(value.empty() || IsUsableSecretValue(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text = fuzz::Bytes(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: {
      JsonValue object;
      if (ParseJson(text, &object)) CheckSettings(ParseSettingsUpdate(object));
      const std::string config = CompanionConfigText(text, ParseStoredSettings(text));
      JsonValue written;
      FUZZ_CHECK(ParseJson(config, &written) && written.IsObject());
      for (const std::string& key : ProviderKeyNames()) FUZZ_CHECK(!written.Find(key));
      break;
    }
    case 1: {
      const SecretsUpdate u = ParseSecretsSet(text);
      CheckKeys(u);
      for (const auto* v : {&u.telegramToken, &u.telegramChatId, &u.telegramUserId}) {
        FUZZ_CHECK(!*v || v->value().empty() || IsUsableSecretValue(**v));
      }
      const std::optional<WorkspaceSecrets> stored = ParseStoredSecrets(text);
      if (stored) {
        const std::optional<WorkspaceSecrets> again =
            ParseStoredSecrets(StoredSecretsJson(*stored));
        FUZZ_CHECK(again && again->keys == stored->keys &&
                   again->telegramToken == stored->telegramToken);
      }
      break;
    }
    case 2: {
      const Migration m = ParseMigration(text);
      CheckKeys(m.keys);
      CheckSettings(m.settings);
      FUZZ_CHECK(!m.keys.changesRelay());
      FUZZ_CHECK(!m.settings.set.Find("autotrader"));
      break;
    }
    case 3: {
      const OrderLimits limits = ParseOrderLimits(text, nullptr);
      FUZZ_CHECK(limits.maxLots > 0 && limits.maxRiskPct > 0);
      const std::size_t cut = text.find('\n');
      const std::string record = cut == std::string::npos ? text : text.substr(cut + 1);
      const std::optional<Order> order = SplitOrderRecord(record);
      if (!order) break;
      const std::string why = OrderLimitBroken(*order, limits);
      // A refusal names what it refused; an opening order that passes had a readable size.
      if (why.empty() && (order->action == "BUY" || order->action == "SELL")) {
        FUZZ_CHECK(!order->size.empty());
      }
      break;
    }
  }
  return 0;
}
