#include "overlay/web_message.h"

#include <vector>

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Splits like a line reader with a comma delimiter: a trailing comma adds no empty last
// field, two adjacent commas give an empty one, an empty text gives no fields.
std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      fields.push_back(text.substr(start));
      break;
    }
    fields.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return fields;
}

// "P:<price>" and "D:<distance>": the number, with its kind.
std::string Unmarked(const std::string& level, std::string* kind) {
  if (level.size() > 2 && level[1] == ':' && (level[0] == 'P' || level[0] == 'D')) {
    *kind = level[0] == 'P' ? "PRICE" : "DISTANCE";
    return level.substr(2);
  }
  return level;
}

}  // namespace

WebMessage ClassifyWebMessage(const std::string& message) {
  struct Prefix {
    const char* text;
    WebMessageKind kind;
  };
  static const Prefix kPrefixes[] = {
      {"SYNC:", WebMessageKind::kSync},
      {"TRADE:", WebMessageKind::kTrade},
  };
  for (const Prefix& p : kPrefixes) {
    if (StartsWith(message, p.text))
      return {p.kind, message.substr(std::char_traits<char>::length(p.text))};
  }
  if (message == "CLOSE_STUDIO" || message == "CLOSE_WINDOW")
    return {WebMessageKind::kHideWindow, {}};
  if (message == "CLEAR_EVAL_REQ") return {WebMessageKind::kClearEvalRequest, {}};
  static const Prefix kLater[] = {
      {"AI_STATUS:", WebMessageKind::kAiStatus},
      {"VAULT_CFG:", WebMessageKind::kVaultConfig},
      {"TG_CFG:", WebMessageKind::kTelegramConfig},
      {"AT_CLAIM:", WebMessageKind::kBarClaim},
      {"SETTINGS_SET:", WebMessageKind::kSettingsSet},
      {"SECRETS_SET:", WebMessageKind::kSecretsSet},
      {"MIGRATE:", WebMessageKind::kMigrate},
  };
  for (const Prefix& p : kLater) {
    if (StartsWith(message, p.text))
      return {p.kind, message.substr(std::char_traits<char>::length(p.text))};
  }
  return {WebMessageKind::kOther, message};
}

std::string StripExchangePrefix(const std::string& symbol) {
  const std::size_t colon = symbol.find(':');
  return colon == std::string::npos ? symbol : symbol.substr(colon + 1);
}

TradeRecord BuildTradeRecord(const std::string& rest, const std::string& hostSymbol,
                             std::uint64_t tickCount) {
  const std::vector<std::string> f = SplitFields(rest);
  auto nonEmpty = [&](std::size_t i, const std::string& fallback) {
    return i < f.size() && !f[i].empty() ? f[i] : fallback;
  };
  TradeRecord record;
  const std::string id = nonEmpty(0, std::to_string(tickCount));
  const std::string action = nonEmpty(1, "BUY");
  const std::string size = nonEmpty(2, "0.10");
  if (f.size() >= 4 && !f[3].empty() && f[3] != "CURRENT") {
    record.symbol = StripExchangePrefix(f[3]);
  } else {
    record.symbol = StripExchangePrefix(hostSymbol);
  }
  // An empty stop or target stays empty; only a missing one becomes "0".
  const std::string sl = Unmarked(f.size() > 4 ? f[4] : "0", &record.slKind);
  const std::string tp = Unmarked(f.size() > 5 ? f[5] : "0", &record.tpKind);
  record.line = id + "," + action + "," + size + "," + record.symbol + "," + sl + "," + tp;
  return record;
}

bool IsSafeRecordField(const std::string& field) {
  for (unsigned char c : field) {
    if (c == ',' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsSafeTradeRecord(const TradeRecord& record) {
  // Fields are split at commas, so only the symbol (which may come from the host symbol)
  // can carry one; any control byte anywhere would start a new line for the reader.
  if (!IsSafeRecordField(record.symbol)) return false;
  for (unsigned char c : record.line) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string PrintableForLog(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}
