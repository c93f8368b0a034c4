#include "overlay/order_fate.h"

#include "overlay/page_scripts.h"

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

std::string OrderFateJson(const OrderFate& fate) {
  return "{\"client\":" + JsStringLiteral(fate.client) + ",\"id\":" + JsStringLiteral(fate.id) +
         ",\"status\":" + JsStringLiteral(OrderFateStatusName(fate.status)) +
         ",\"ticket\":" + JsStringLiteral(fate.ticket) +
         ",\"price\":" + JsStringLiteral(fate.price) +
         ",\"volume\":" + JsStringLiteral(fate.volume) +
         ",\"reason\":" + JsStringLiteral(fate.reason) + "}";
}

std::string BuildOrderFateScript(const OrderFate& fate) {
  return "(function () { try { if (typeof window.qvOrderFate === 'function')"
         " window.qvOrderFate(JSON.parse(" +
         JsStringLiteral(OrderFateJson(fate)) +
         ")); } catch (e) { console.log('Quorvale HUD order fate error', e); } })();";
}

bool IsKeptPageOrderId(const std::string& pageId) {
  return pageId.size() > 3 && pageId.compare(0, 3, "AT_") == 0 && IsValidOrderId(pageId);
}
