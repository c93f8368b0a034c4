#pragma once
// The whole decision for one page message: which request it is and what the host does with
// it, before any file, window or page is touched. The glue only carries the action out.
#include <cstdint>
#include <string>

#include "overlay/web_message.h"

struct WebMessageAction {
  enum class Step {
    kSyncSymbol,           // symbol: new host symbol; body: the Symbol Sync record
    kDropSync,             // symbol: the unusable symbol (log only)
    kQueueOrder,           // pageId, body: the order record, keepPageId, symbol
    kRefuseOrder,          // pageId: the id to report the refusal to (may be empty); body: record
    kHideWindow,           //
    kClearEvalRequest,     //
    kWriteAiStatus,        // body: QV_AIStatus.json
    kWriteVaultConfig,     // body: QV_AIConfig.json and vault.json
    kStoreTelegramConfig,  // body: the configuration JSON
    kIgnore,               // a TG_CFG: that would not read back as written
    kClaimBar,             // body: the claim text
    kLog,                  // body: the message, for the log
  };
  Step step = Step::kLog;
  std::string body;
  std::string symbol;
  std::string pageId;
  bool keepPageId = false;
  std::string slKind, tpKind;  // kQueueOrder: the levels' marks
};

// hostSymbol: the process's UTF-8 host symbol (the trade record's default); tickCount: the
// clock for default ids and the sync record.
[[nodiscard]] WebMessageAction DecideWebMessage(const std::string& utf8Message,
                                                const std::string& hostSymbol,
                                                std::uint64_t tickCount);
