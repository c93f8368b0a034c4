#include "overlay/order_fate.h"

const char* OrderFateStatusName(OrderFate::Status status) {
  switch (status) {
    case OrderFate::Status::kSent:
      return "sent";
    case OrderFate::Status::kExecuted:
      return "executed";
    case OrderFate::Status::kRejected:
      return "rejected";
    case OrderFate::Status::kUnknown:
      return "unknown";
    case OrderFate::Status::kNotSent:
      break;
  }
  return "not_sent";
}

OrderFate FateFromResult(const std::string& client, const std::string& id,
                         const TradeResult& result) {
  OrderFate fate;
  fate.client = client;
  fate.id = id;
  if (result.status == TradeResult::Status::kExecuted) {
    fate.status = OrderFate::Status::kExecuted;
    fate.ticket = result.ticket;
    fate.price = result.price;
    fate.volume = result.volume;
  } else if (result.status == TradeResult::Status::kUnknown) {
    fate.status = OrderFate::Status::kUnknown;
    fate.reason = result.reason.empty() ? "check your positions" : result.reason;
  } else {
    fate.status = OrderFate::Status::kRejected;
    fate.reason = result.reason.empty() ? "no reason given" : result.reason;
  }
  return fate;
}

JsonValue OrderFatePush(const OrderFate& fate) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("fate"));
  push.Set("client", JsonString(fate.client));
  push.Set("id", JsonString(fate.id));
  push.Set("status", JsonString(OrderFateStatusName(fate.status)));
  push.Set("ticket", JsonString(fate.ticket));
  push.Set("price", JsonString(fate.price));
  push.Set("volume", JsonString(fate.volume));
  push.Set("reason", JsonString(fate.reason));
  return push;
}

bool IsKeptPageOrderId(const std::string& pageId) {
  return pageId.size() > 3 && pageId.compare(0, 3, "AT_") == 0 && IsValidOrderId(pageId);
}
