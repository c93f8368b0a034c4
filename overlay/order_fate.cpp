#include "overlay/order_fate.h"

#include <cstdio>

#include "overlay/page_scripts.h"

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

const char* OrderFateStatusName(OrderFate::Status status) {
  switch (status) {
    case OrderFate::Status::kSent:
      return "sent";
    case OrderFate::Status::kExecuted:
      return "executed";
    case OrderFate::Status::kRejected:
      return "rejected";
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
  } else {
    fate.status = OrderFate::Status::kRejected;
    fate.reason = result.reason.empty() ? "no reason given" : result.reason;
  }
  return fate;
}

std::string OrderFateJson(const OrderFate& fate) {
  return "{\"client\":" + JsonString(fate.client) + ",\"id\":" + JsonString(fate.id) +
         ",\"status\":" + JsonString(OrderFateStatusName(fate.status)) +
         ",\"ticket\":" + JsonString(fate.ticket) + ",\"price\":" + JsonString(fate.price) +
         ",\"volume\":" + JsonString(fate.volume) + ",\"reason\":" + JsonString(fate.reason) + "}";
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
