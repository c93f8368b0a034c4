#pragma once
// What the host tells the page about one order it sent: the page's own id for the order
// (its client id), the outbox id, and the fate as far as it is known.
#include <string>

#include "bridge/order_files.h"
#include "host/json.h"

struct OrderFate {
  enum class Status { kSent, kNotSent, kExecuted, kRejected, kUnknown };
  std::string client;  // the id the page put in its TRADE message
  std::string id;      // the outbox id (empty when the order never got one)
  Status status = Status::kNotSent;
  std::string ticket, price, volume;  // executed
  std::string reason;                 // rejected or unknown, or why it was not sent
};

[[nodiscard]] const char* OrderFateStatusName(OrderFate::Status status);  // "sent", ...

// The fate for a companion result.
[[nodiscard]] OrderFate FateFromResult(const std::string& client, const std::string& id,
                                       const TradeResult& result);

// The HUD push {"type":"fate","client":"...","id":"...","status":"...","ticket":"...",
// "price":"...","volume":"...","reason":"..."}.
[[nodiscard]] JsonValue OrderFatePush(const OrderFate& fate);

// True for a page id the outbox keeps (deterministic AutoTrader ids "AT_..."); every other
// page id is only the client id and the outbox assigns the order id.
[[nodiscard]] bool IsKeptPageOrderId(const std::string& pageId);
