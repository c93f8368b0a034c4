#pragma once
// The workspace's hard limits on every order from the HUD and from Telegram, from a file in
// the workspace data folder that only the trader edits (order_limits.txt): no page, message
// or bot command can raise them. An order over a limit is refused with the reason before it
// reaches the outbox.
#include <string>

#include "bridge/order_files.h"

struct OrderLimits {
  double maxLots = 1.0;
  double maxRiskPct = 2.0;
  std::string maxLotsText = "1.00";
  std::string maxRiskText = "2.0";
};

// The text of a new limits file: the defaults, and what the keys mean.
[[nodiscard]] std::string DefaultOrderLimitsText();

// KEY=VALUE lines (MAX_LOTS=, MAX_RISK_PCT=; '#' starts a comment line, unknown keys and
// blanks around values ignored, a later line wins). A key that is missing or not a positive
// decimal number keeps its default and is named in *problems.
[[nodiscard]] OrderLimits ParseOrderLimits(const std::string& text, std::string* problems);

// Empty when the order is within the limits, otherwise the
// reason told to the trader. Orders that open a position (BUY, SELL) are checked: a lot size
// against the largest lot size, an "R:" size against the largest risk; a size that is
// neither is refused. Closing and stop moves are never held back.
[[nodiscard]] std::string OrderLimitBroken(const Order& order, const OrderLimits& limits);
