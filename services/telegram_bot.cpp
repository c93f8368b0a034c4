#include "services/telegram_bot.h"

#include <algorithm>
#include <limits>

namespace {

constexpr char kUpdateIdKey[] = "\"update_id\":";
constexpr std::size_t kUpdateIdKeyLength = sizeof kUpdateIdKey - 1;
constexpr char kMessageKey[] = "\"message\":";
constexpr char kChatKey[] = "\"chat\":";
constexpr char kIdKey[] = "\"id\":";
constexpr std::size_t kIdKeyLength = sizeof kIdKey - 1;
constexpr char kTextKey[] = "\"text\":\"";
constexpr std::size_t kTextKeyLength = sizeof kTextKey - 1;

std::string QuotedValueAfter(const std::string& text, const std::string& key) {
  const std::size_t start = text.find(key);
  if (start == std::string::npos) return {};
  const std::size_t from = start + key.size();
  const std::size_t end = text.find('"', from);
  if (end == std::string::npos) return {};
  return text.substr(from, end - from);
}

// Up to the first "," or "}" at or after from, or the end of the text.
std::string FieldTextFrom(const std::string& body, std::size_t from) {
  const std::size_t end = body.find_first_of(",}", from);
  return body.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

bool IsWordSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsWordSeparator(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsWordSeparator(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// A comma would add a field to the one-record CSV the terminal companion reads and a
// control byte (line break above all) a second record; the words come from whoever can
// type into the chat, so such a word is refused rather than passed on.
bool IsSafeRecordWord(const std::string& word) {
  return std::none_of(word.begin(), word.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == ',' || byte < 0x20 || byte == 0x7F;
  });
}

CommandOutcome RemoteOrder(const std::string& text, const std::string& tickId, bool buy) {
  const std::vector<std::string> words = SplitWords(text);
  const std::string symbol = words.size() > 1 ? words[1] : "CURRENT";
  const std::string risk = words.size() > 2 ? words[2] : "R:1.0";
  if (!IsSafeRecordWord(symbol) || !IsSafeRecordWord(risk)) {
    return {std::nullopt, TelegramRejectedWordText()};
  }
  CommandOutcome outcome;
  outcome.record = tickId + (buy ? ",BUY," : ",SELL,") + risk + "," + symbol + ",0,0";
  outcome.reply = std::string(buy ? "\xF0\x9F\x9F\xA2 *REMOTE BUY:* Dispatched "
                                  : "\xF0\x9F\x94\xB4 *REMOTE SELL:* Dispatched ") +
                  symbol + " (" + risk + ") to MT5.";
  return outcome;
}

}  // namespace

TelegramConfig ParseTelegramConfig(const std::string& text) {
  return {QuotedValueAfter(text, "\"token\":\""), QuotedValueAfter(text, "\"chatid\":\"")};
}

std::int64_t ParseUpdateId(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a negative number so the most negative value fits too.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      value = kMin;
      break;
    }
    value = value * 10 - digit;
  }
  if (negative) return value;
  return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::int64_t NextOffset(std::int64_t lastUpdateId) {
  return lastUpdateId == std::numeric_limits<std::int64_t>::max() ? lastUpdateId : lastUpdateId + 1;
}

std::vector<TelegramUpdate> ScanTelegramUpdates(const std::string& body,
                                                const std::string& configuredChatId) {
  std::vector<TelegramUpdate> updates;
  std::size_t k = body.find(kUpdateIdKey);
  while (k != std::string::npos) {
    const std::size_t numberStart = k + kUpdateIdKeyLength;
    const std::size_t next = body.find(kUpdateIdKey, numberStart);
    const std::size_t spanEnd = next == std::string::npos ? body.size() : next;
    TelegramUpdate update;
    update.updateId = ParseUpdateId(FieldTextFrom(body, numberStart));

    const std::size_t message = body.find(kMessageKey, k);
    const std::size_t chat = message < spanEnd ? body.find(kChatKey, message) : std::string::npos;
    const std::size_t id = chat < spanEnd ? body.find(kIdKey, chat) : std::string::npos;
    if (id < spanEnd) {
      for (char c : FieldTextFrom(body, id + kIdKeyLength)) {
        if (c != ' ' && c != '"' && c != '\r' && c != '\n') update.chatId.push_back(c);
      }
      if (update.chatId != configuredChatId) {
        update.kind = TelegramUpdate::Kind::kForeignChat;
      } else {
        const std::size_t textKey = body.find(kTextKey, message);
        if (textKey < spanEnd) {
          const std::size_t from = textKey + kTextKeyLength;
          const std::size_t end = body.find('"', from);
          update.text =
              body.substr(from, end == std::string::npos ? std::string::npos : end - from);
          update.kind = TelegramUpdate::Kind::kText;
        } else {
          update.kind = TelegramUpdate::Kind::kNoText;
        }
      }
    }
    updates.push_back(std::move(update));
    k = next;
  }
  return updates;
}

CommandOutcome HandleTelegramCommand(const std::string& text, const std::string& tickId,
                                     const std::string& hostSymbol) {
  if (StartsWith(text, "/status")) return {std::nullopt, TelegramStatusText(hostSymbol)};
  if (StartsWith(text, "/closeall")) {
    return {tickId + ",CLOSE,0.10,ALL,0,0",
            "\xF0\x9F\x9B\x91 *COMMAND SENT:* Close All Positions executed."};
  }
  if (StartsWith(text, "/be")) {
    return {tickId + ",BE_PLUS,0.10,CURRENT,0,0",
            "\xE2\x9A\xA1 *COMMAND SENT:* SL moved to Break-Even +2 pips."};
  }
  if (StartsWith(text, "/buy")) return RemoteOrder(text, tickId, true);
  if (StartsWith(text, "/sell")) return RemoteOrder(text, tickId, false);
  if (StartsWith(text, "/help")) return {std::nullopt, TelegramHelpText()};
  return {};
}

std::string TelegramStatusText(const std::string& hostSymbol) {
  return "\xF0\x9F\x8F\x9B\xEF\xB8\x8F *QUORVALE WORKSPACE SENTINEL*\n\n"
         "\xE2\x80\xA2 Status: *Active & Protected*\n"
         "\xE2\x80\xA2 Symbol: *" +
         hostSymbol +
         "*\n"
         "\xE2\x80\xA2 Constitution: *Daily Loss Cap Enforced*\n"
         "\xE2\x80\xA2 Liveness Failsafe: *OK*";
}

const std::string& TelegramHelpText() {
  static const std::string text =
      "\xF0\x9F\xA4\x96 *QUORVALE TELEGRAM COMMANDS*\n\n"
      "\xE2\x80\xA2 `/status` - Live Sentinel & account status\n"
      "\xE2\x80\xA2 `/closeall` - Emergency close all positions\n"
      "\xE2\x80\xA2 `/be` - Move SL to BE+2 pips\n"
      "\xE2\x80\xA2 `/buy <sym> <risk>` - Remote BUY\n"
      "\xE2\x80\xA2 `/sell <sym> <risk>` - Remote SELL";
  return text;
}

const std::string& TelegramRejectedWordText() {
  static const std::string text =
      "\xE2\x9A\xA0\xEF\xB8\x8F *COMMAND REJECTED:* Symbol and risk must not contain commas "
      "or control characters.";
  return text;
}

std::string EscapeTelegramText(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string TelegramSendMessageBody(const std::string& chatId, const std::string& text) {
  // Real chat ids are digits, a minus sign or an @name and come out unchanged; escaping
  // them as well keeps a damaged configuration from breaking the JSON.
  return "{\"chat_id\":\"" + EscapeTelegramText(chatId) + "\",\"text\":\"" +
         EscapeTelegramText(text) + "\",\"parse_mode\":\"Markdown\"}";
}

std::string TelegramPollUrl(const std::string& apiBase, const std::string& token,
                            std::int64_t offset) {
  return apiBase + "/bot" + token + "/getUpdates?offset=" + std::to_string(offset) + "&timeout=3";
}

std::string TelegramSendMessageUrl(const std::string& apiBase, const std::string& token) {
  return apiBase + "/bot" + token + "/sendMessage";
}
