#include "bridge/order_files.h"

#include <algorithm>
#include <vector>

#include "bridge/csv.h"
#include "bridge/key_value.h"
#include "host/ascii_text.h"

namespace {

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  return line;
}

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

}  // namespace

bool IsValidOrderId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  });
}

std::uint64_t NextOrderId(std::uint64_t lastIssued, std::uint64_t nowUnixMs) {
  const std::uint64_t after = lastIssued == UINT64_MAX ? lastIssued : lastIssued + 1;
  return std::max(after, nowUnixMs);
}

std::optional<std::uint64_t> ParseOutboxState(std::string_view text) {
  const std::vector<KeyValue> lines = ReadKeyValues(text);
  std::uint64_t value = 0;
  if (lines.size() != 1 || lines[0].key != "LAST" || !ParseDecimal(lines[0].value, &value)) {
    return std::nullopt;
  }
  return value;
}

std::string OutboxStateBody(std::uint64_t lastIssued) {
  return "LAST=" + std::to_string(lastIssued);
}

std::string OrderRecordLine(const Order& order) {
  return JoinCsvFields({order.id, order.action, order.size, order.symbol, order.sl, order.tp});
}

std::optional<Order> SplitOrderRecord(std::string_view line) {
  const std::vector<std::string_view> f = SplitCsvFields(line);
  if (f.size() != 6) return std::nullopt;
  Order order;
  order.id = f[0];
  order.action = f[1];
  order.size = f[2];
  order.symbol = f[3];
  order.sl = f[4];
  order.tp = f[5];
  return order;
}

std::string OrderFileBody(const Order& order) {
  const std::string record = OrderRecordLine(order);
  std::string body = record + "\n";
  if (!order.account.empty()) body += "ACCOUNT=" + order.account + "\n";
  if (order.chart != 0) body += "CHART=" + std::to_string(order.chart) + "\n";
  if (order.seq != 0) body += "SEQ=" + std::to_string(order.seq) + "\n";
  if (!order.slKind.empty()) body += "SL_KIND=" + order.slKind + "\n";
  if (!order.tpKind.empty()) body += "TP_KIND=" + order.tpKind + "\n";
  // A reader that sees added lines takes them only with this one last.
  if (body.size() > record.size() + 1) body += "END=1\n";
  return body;
}

std::optional<TradeResult> ParseTradeResult(std::string_view text, std::string_view expectedId) {
  std::string id, status, end;
  std::size_t ends = 0;
  TradeResult result;
  for (const KeyValue& line : ReadKeyValues(text)) {
    const std::string value(line.value);
    if (line.key == "ID")
      id = value;
    else if (line.key == "STATUS")
      status = value;
    else if (line.key == "TICKET")
      result.ticket = value;
    else if (line.key == "PRICE")
      result.price = value;
    else if (line.key == "VOLUME")
      result.volume = value;
    else if (line.key == "REASON")
      result.reason = value;
    else if (line.key == "END")
      end = value, ++ends;
  }
  // END=1 must be the last line: a file cut anywhere before it is not whole.
  std::string_view tail = text;
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == ' ')) {
    tail.remove_suffix(1);
  }
  const std::size_t lastBreak = tail.find_last_of('\n');
  const std::string_view lastLine =
      TrimLine(lastBreak == std::string_view::npos ? tail : tail.substr(lastBreak + 1));
  // A second END line would make the file's first part a whole result of its own, one that
  // says something else than the file (a reason or ticket that follows it).
  if (ends != 1 || end != "1" || lastLine != "END=1") return std::nullopt;
  if (id != expectedId) return std::nullopt;
  if (HasControl(result.ticket)) return std::nullopt;
  // The reason is the broker's text, which the companion passes on with only its line
  // breaks blanked; refusing a tab in it left a whole result unread for good, and the
  // trader with "sent" for a rejected order.
  for (char& c : result.reason) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  if (result.reason.size() > 200) result.reason.resize(200);
  if (status == "EXECUTED") {
    if (result.ticket.empty()) return std::nullopt;
    result.status = TradeResult::Status::kExecuted;
    return result;
  }
  if (status == "REJECTED") {
    result.status = TradeResult::Status::kRejected;
    return result;
  }
  if (status == "UNKNOWN") {
    result.status = TradeResult::Status::kUnknown;
    return result;
  }
  return std::nullopt;
}

std::optional<std::string> IdFromFileName(const std::wstring& name, const std::wstring& prefix,
                                          const std::wstring& extension) {
  if (name.size() <= prefix.size() + extension.size()) return std::nullopt;
  if (name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  if (name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
    return std::nullopt;
  }
  const std::wstring wide =
      name.substr(prefix.size(), name.size() - prefix.size() - extension.size());
  std::string id;
  for (wchar_t c : wide) {
    if (c > 0x7F) return std::nullopt;
    id.push_back(static_cast<char>(c));
  }
  if (!IsValidOrderId(id)) return std::nullopt;
  return id;
}
