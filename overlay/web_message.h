#pragma once
// What the host does with each string the HUD sends, decided without touching the OS.
#include <cstdint>
#include <string>

#include "bridge/order_files.h"

enum class WebMessageKind {
  kSync,        // SYNC:<symbol>
  kTrade,       // TRADE:<id>,<action>,<size>,<symbol>,<sl>,<tp>
  kHideWindow,  // CLOSE_STUDIO or CLOSE_WINDOW
  kClearEvalRequest,
  kAiStatus,        // AI_STATUS:<json>
  kVaultConfig,     // VAULT_CFG:<json> (no longer accepted)
  kTelegramConfig,  // TG_CFG:<token>,<chat id>[,<user id>]
  kBarClaim,        // AT_CLAIM:<instrument>,<bar>,<token>
  kSettingsSet,     // SETTINGS_SET:<json>
  kSecretsSet,      // SECRETS_SET:<json>
  kMigrate,         // MIGRATE:<json>
  kOther,
};

struct WebMessage {
  WebMessageKind kind = WebMessageKind::kOther;
  std::string rest;  // UTF-8 text after the prefix (the whole message for kOther)
};

// Case-sensitive prefix and equality tests in a fixed order; the first match wins.
[[nodiscard]] WebMessage ClassifyWebMessage(const std::string& utf8Message);

// Keeps what follows the first colon, or the whole text when there is none.
[[nodiscard]] std::string StripExchangePrefix(const std::string& symbol);

// The order of the text after "TRADE:", with defaults from the host symbol and the tick
// count. A stop or target the page marks "P:<price>" (picked on the chart or typed as a
// price) or "D:<distance>" goes into the order as the bare number, its kind beside it; an
// unmarked one is left to the companion's rule.
[[nodiscard]] Order OrderFromTradeMessage(const std::string& rest, const std::string& hostSymbol,
                                          std::uint64_t tickCount);

// An order the terminal companion reads as six comma-separated fields on one line: no
// field may carry a comma (host symbols come from the page), a line break or another
// control character.
[[nodiscard]] bool IsSafeOrder(const Order& order);

// "SYNC:" symbol check: the same rule for the two-field sync record.
[[nodiscard]] bool IsSafeRecordField(const std::string& field);

// The text with every control character shown as '?', so a dropped record's log line
// stays one line.
[[nodiscard]] std::string PrintableForLog(const std::string& text);
