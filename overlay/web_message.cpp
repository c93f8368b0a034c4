#include "overlay/web_message.h"

#include <vector>

#include "bridge/csv.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The page's TRADE text is split like a line reader with a comma delimiter: a trailing
// comma adds no empty last field, two adjacent commas give an empty one, an empty text
// gives no fields.
std::vector<std::string> SplitFields(const std::string& text) {
  if (text.empty()) return {};
  const std::vector<std::string_view> split = SplitCsvFields(text);
  std::vector<std::string> fields(split.begin(), split.end());
  if (text.back() == ',') fields.pop_back();
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

Order OrderFromTradeMessage(const std::string& rest, const std::string& hostSymbol,
                            std::uint64_t tickCount) {
  const std::vector<std::string> f = SplitFields(rest);
  auto nonEmpty = [&](std::size_t i, const std::string& fallback) {
    return i < f.size() && !f[i].empty() ? f[i] : fallback;
  };
  Order order;
  order.id = nonEmpty(0, std::to_string(tickCount));
  order.action = nonEmpty(1, "BUY");
  order.size = nonEmpty(2, "0.10");
  if (f.size() >= 4 && !f[3].empty() && f[3] != "CURRENT") {
    order.symbol = StripExchangePrefix(f[3]);
  } else {
    order.symbol = StripExchangePrefix(hostSymbol);
  }
  // An empty stop or target stays empty; only a missing one becomes "0".
  order.sl = Unmarked(f.size() > 4 ? f[4] : "0", &order.slKind);
  order.tp = Unmarked(f.size() > 5 ? f[5] : "0", &order.tpKind);
  return order;
}

bool IsSafeRecordField(const std::string& field) {
  for (unsigned char c : field) {
    if (c == ',' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsSafeOrder(const Order& order) {
  // Fields are split at commas, so no field may carry one (the symbol may come from the
  // host symbol, the rest from the page's own split); any control byte anywhere would
  // start a new line for the reader.
  for (const std::string* field :
       {&order.id, &order.action, &order.size, &order.symbol, &order.sl, &order.tp}) {
    if (!IsSafeRecordField(*field)) return false;
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
