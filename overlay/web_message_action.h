#pragma once
// The whole decision for one page message: which request it is and what the host does with
// it, before any file, window or page is touched. The glue only carries the action out.
#include <cstdint>
#include <string>

#include "overlay/web_message.h"
#include "services/order_limits.h"
#include "services/workspace_secrets.h"

struct WebMessageAction {
  enum class Step {
    kSyncSymbol,         // symbol: new host symbol; body: the Symbol Sync record
    kDropSync,           // symbol: the unusable symbol (log only)
    kQueueOrder,         // order, pageId, body: the order record (for the log), keepPageId,
                         // symbol
    kRefuseOrder,        // pageId: the id to report the refusal to (may be empty); body: record;
                         // reason: why, for the page
    kHideWindow,         //
    kClearEvalRequest,   //
    kWriteAiStatus,      // body: QV_AIStatus.json
    kRefuseVaultConfig,  // VAULT_CFG: keys and settings have messages of their own now
    kAskRelayChange,     // relay: the Telegram relay to confirm with the trader
    kRemoveRelay,        // an empty token: the relay goes, no question asked
    kIgnore,             // a TG_CFG: that names no usable relay
    kClaimBar,           // body: the claim text
    kStoreSettings,      // body: the SETTINGS_SET JSON
    kStoreSecrets,       // body: the SECRETS_SET JSON
    kMigrate,            // body: the MIGRATE JSON
    kLog,                // body: the message, for the log
  };
  Step step = Step::kLog;
  std::string body;
  std::string symbol;
  std::string pageId;
  bool keepPageId = false;
  Order order;  // kQueueOrder and kRefuseOrder: the order of a TRADE message
  std::string reason;
  TelegramRelay relay;
};

// hostSymbol: the process's UTF-8 host symbol (the trade record's default); tickCount: the
// clock for default ids and the sync record; limits: the workspace's hard limits, which an
// order must keep to reach the outbox.
[[nodiscard]] WebMessageAction DecideWebMessage(const std::string& utf8Message,
                                                const std::string& hostSymbol,
                                                std::uint64_t tickCount, const OrderLimits& limits);
