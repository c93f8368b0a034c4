#include "bridge/order_files.h"

#include <algorithm>
#include <vector>

#include "bridge/key_value.h"
#include "host/ascii_text.h"

namespace {

std::wstring Widen(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

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

std::string RecordId(const std::string& record) {
  return record.substr(0, record.find(','));
}

std::string RecordWithId(const std::string& record, const std::string& id) {
  const std::size_t comma = record.find(',');
  return comma == std::string::npos ? id : id + record.substr(comma);
}

std::wstring OrderFileName(const std::string& id) {
  return L"QV_Order_" + Widen(id) + L".csv";
}
std::wstring OrderTakenFileName(const std::string& id) {
  return L"QV_OrderTaken_" + Widen(id) + L".csv";
}
std::wstring TradeResultFileName(const std::string& id) {
  return L"QV_TradeResult_" + Widen(id) + L".txt";
}

std::string OrderFileBody(const std::string& record, const OrderAdditions& additions) {
  std::string body = record + "\n";
  if (!additions.account.empty()) body += "ACCOUNT=" + additions.account + "\n";
  if (additions.chart != 0) body += "CHART=" + std::to_string(additions.chart) + "\n";
  if (additions.seq != 0) body += "SEQ=" + std::to_string(additions.seq) + "\n";
  if (!additions.slKind.empty()) body += "SL_KIND=" + additions.slKind + "\n";
  if (!additions.tpKind.empty()) body += "TP_KIND=" + additions.tpKind + "\n";
  // A reader that sees added lines takes them only with this one last.
  if (body.size() > record.size() + 1) body += "END=1\n";
  return body;
}

namespace {

// Added lines are whole only with END=1 as the last of them.
bool ReadAdditions(std::string_view lines, OrderAdditions* additions) {
  bool any = false;
  bool ended = false;
  for (std::string_view line : Split(lines, '\n')) {
    line = TrimLine(line);
    if (line.empty()) continue;
    if (HasControl(line) || ended) return false;
    any = true;
    if (line == "END=1") {
      ended = true;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return false;
    const std::string_view key = line.substr(0, eq);
    const std::string value(line.substr(eq + 1));
    std::uint64_t number = 0;
    if (key == "ACCOUNT") {
      if (!ParseDecimal(value, &number)) return false;
      additions->account = value;
    } else if (key == "CHART" || key == "SEQ") {
      if (!ParseDecimal(value, &number)) return false;
      (key == "CHART" ? additions->chart : additions->seq) = number;
    } else if (key == "SL_KIND" || key == "TP_KIND") {
      if (value != "PRICE" && value != "DISTANCE") return false;
      (key == "SL_KIND" ? additions->slKind : additions->tpKind) = value;
    }
  }
  return !any || ended;
}

}  // namespace

std::optional<OrderRecord> ParseOrderFile(std::string_view text, std::string_view expectedId) {
  if (text.size() < 2 || text.back() != '\n') return std::nullopt;
  const std::size_t firstEnd = text.find('\n');
  OrderAdditions additions;
  if (!ReadAdditions(text.substr(firstEnd + 1), &additions)) return std::nullopt;
  text = text.substr(0, firstEnd);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (HasControl(text)) return std::nullopt;
  const std::vector<std::string_view> f = Split(text, ',');
  if (f.size() != 6 || f[0] != expectedId || !IsValidOrderId(f[0])) return std::nullopt;
  static const char* const kActions[] = {"BUY", "SELL", "CLOSE", "CLOSE_50", "BE_PLUS", "REVERSE"};
  if (std::none_of(std::begin(kActions), std::end(kActions),
                   [&](const char* a) { return f[1] == a; })) {
    return std::nullopt;
  }
  if (f[2].empty() || f[3].empty()) return std::nullopt;
  return OrderRecord{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]),
                     std::string(f[4]), std::string(f[5]), additions};
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
  if (HasControl(result.ticket) || HasControl(result.reason)) return std::nullopt;
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
