#include "services/telegram_bot.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "bridge/key_value.h"
#include "host/ascii_text.h"
#include "host/json.h"

namespace {

constexpr char kUpdateIdKey[] = "\"update_id\":";
constexpr std::size_t kUpdateIdKeyLength = sizeof kUpdateIdKey - 1;

// The position just after "key": among the own members of the object that opens at open
// (nested objects, arrays and strings are stepped over), or npos. Never reads at or past end.
std::size_t OwnMember(const std::string& body, std::size_t open, std::size_t end,
                      const std::string& key) {
  if (open >= end || body[open] != '{') return std::string::npos;
  const std::string quoted = "\"" + key + "\"";
  int depth = 0;
  bool inString = false;
  for (std::size_t i = open; i < end; ++i) {
    const char c = body[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (c == '"') {
      if (depth == 1 && i + quoted.size() <= end && body.compare(i, quoted.size(), quoted) == 0) {
        std::size_t j = i + quoted.size();
        while (j < end && body[j] == ' ') ++j;
        if (j < end && body[j] == ':') {
          ++j;
          while (j < end && body[j] == ' ') ++j;
          return j;
        }
      }
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth == 0) return std::string::npos;
    }
  }
  return std::string::npos;
}

// The member value's position when it is an object, else npos.
std::size_t ObjectAt(const std::string& body, std::size_t at, std::size_t end) {
  return at < end && body[at] == '{' ? at : std::string::npos;
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

// The message's first word without a "@<bot>" that names this bot; empty when it names
// another one, or any one while this bot's name is unknown.
std::string CommandWord(const std::string& text, const std::string& botName) {
  if (text.empty() || text[0] != '/') return {};
  std::size_t end = 0;
  while (end < text.size() && !IsWordSeparator(text[end])) ++end;
  const std::string word = text.substr(0, end);
  const std::size_t at = word.find('@');
  if (at == std::string::npos) return word;
  const std::string named = word.substr(at + 1);
  if (botName.empty() || !EqualsNoCase(std::string_view(named), std::string_view(botName)))
    return {};
  return word.substr(0, at);
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

// The bot's orders carry no stop or target: the companion's rule places them.
Order OrderOf(const std::string& id, const char* action, const std::string& size,
              const std::string& symbol) {
  Order order;
  order.id = id;
  order.action = action;
  order.size = size;
  order.symbol = symbol;
  order.sl = "0";
  order.tp = "0";
  return order;
}

CommandOutcome RemoteOrder(const std::string& text, const std::string& id, bool buy) {
  const std::vector<std::string> words = SplitWords(text);
  const std::string symbol = words.size() > 1 ? words[1] : "CURRENT";
  const std::string risk = words.size() > 2 ? words[2] : "R:1.0";
  if (!IsSafeRecordWord(symbol) || !IsSafeRecordWord(risk)) {
    return {std::nullopt, std::nullopt, TelegramRejectedWordText()};
  }
  CommandOutcome outcome;
  outcome.trade = OrderOf(id, buy ? "BUY" : "SELL", risk, symbol);
  outcome.order = TelegramOrderLabel{
      buy ? "\xF0\x9F\x9F\xA2" : "\xF0\x9F\x94\xB4", buy ? "REMOTE BUY" : "REMOTE SELL",
      EscapeTelegramMarkdown(symbol) + " (" + EscapeTelegramMarkdown(risk) + ")"};
  return outcome;
}

std::string Decimal(std::int64_t v) {
  return std::to_string(v);
}

}  // namespace

TelegramConfig ParseTelegramConfig(const std::string& text) {
  TelegramConfig config;
  JsonValue file;
  if (!ParseJson(text, &file) || !file.IsObject()) return config;
  config.token = file.StringAt("token");
  config.chatId = file.StringAt("chatid");
  return config;
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
                                                const std::string& configuredChatId,
                                                const std::string& configuredUserId) {
  std::vector<TelegramUpdate> updates;
  std::size_t k = body.find(kUpdateIdKey);
  while (k != std::string::npos) {
    const std::size_t numberStart = k + kUpdateIdKeyLength;
    const std::size_t next = body.find(kUpdateIdKey, numberStart);
    const std::size_t spanEnd = next == std::string::npos ? body.size() : next;
    TelegramUpdate update;
    update.updateId = ParseUpdateId(FieldTextFrom(body, numberStart));

    // Only the update's own "message" and that message's own "chat", "date" and "text"
    // count: a reply carries the quoted message (with its text, date and chat) inside
    // "reply_to_message", and that text must never run as a command.
    const std::size_t updateOpen = body.rfind('{', k);
    const std::size_t message =
        ObjectAt(body, OwnMember(body, updateOpen, spanEnd, "message"), spanEnd);
    const std::size_t chat = ObjectAt(body, OwnMember(body, message, spanEnd, "chat"), spanEnd);
    const std::size_t id = OwnMember(body, chat, spanEnd, "id");
    if (id < spanEnd) {
      for (char c : FieldTextFrom(body, id)) {
        if (c != ' ' && c != '"' && c != '\r' && c != '\n') update.chatId.push_back(c);
      }
      const std::size_t date = OwnMember(body, message, spanEnd, "date");
      if (date < spanEnd) update.date = ParseUpdateId(FieldTextFrom(body, date));
      const std::size_t from = ObjectAt(body, OwnMember(body, message, spanEnd, "from"), spanEnd);
      const std::size_t fromId = OwnMember(body, from, spanEnd, "id");
      if (fromId < spanEnd) {
        for (char c : FieldTextFrom(body, fromId)) {
          if (c != ' ' && c != '"' && c != '\r' && c != '\n') update.userId.push_back(c);
        }
      }
      if (update.chatId != configuredChatId) {
        update.kind = TelegramUpdate::Kind::kForeignChat;
      } else if (configuredUserId.empty() || update.userId != configuredUserId) {
        update.kind = TelegramUpdate::Kind::kForeignUser;
      } else {
        std::size_t text = OwnMember(body, message, spanEnd, "text");
        while (text < spanEnd && body[text] == ' ') ++text;
        if (text < spanEnd && body[text] == '"') {
          const std::size_t from = text + 1;
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

CommandOutcome HandleTelegramCommand(const std::string& text, const std::string& id,
                                     const std::string& hostSymbol, const std::string& botName) {
  const std::string command = CommandWord(text, botName);
  if (command == "/status") return {std::nullopt, std::nullopt, TelegramStatusText(hostSymbol)};
  if (command == "/closeall") {
    return {OrderOf(id, "CLOSE", "0.10", "ALL"),
            TelegramOrderLabel{"\xF0\x9F\x9B\x91", "CLOSE ALL", "Close all positions"},
            std::nullopt};
  }
  if (command == "/be") {
    return {OrderOf(id, "BE_PLUS", "0.10", "CURRENT"),
            TelegramOrderLabel{"\xE2\x9A\xA1", "BREAK-EVEN", "SL to break-even +2 pips"},
            std::nullopt};
  }
  if (command == "/buy") return RemoteOrder(text, id, true);
  if (command == "/sell") return RemoteOrder(text, id, false);
  if (command == "/help") return {std::nullopt, std::nullopt, TelegramHelpText()};
  return {};
}

std::string TelegramBotNameFromGetMe(const std::string& body) {
  JsonValue answer;
  if (!ParseJson(body, &answer) || !answer.IsObject()) return {};
  const JsonValue* result = answer.Find("result");
  const std::string name = result ? result->StringAt("username") : std::string();
  if (name.empty() || name.size() > 64) return {};
  for (const char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return {};
  }
  return name;
}

std::string TelegramGetMeUrl(const std::string& apiBase, const std::string& token) {
  return apiBase + "/bot" + token + "/getMe";
}

TelegramPollState ClassifyTelegramPoll(const std::string& body) {
  TelegramPollState state;
  if (body.empty()) {
    state.problem = "no answer from Telegram (network or address)";
    return state;
  }
  JsonValue answer;
  if (!ParseJson(body, &answer) || !answer.IsObject()) {
    state.problem = "an answer that is not Telegram's";
    return state;
  }
  const JsonValue* ok = answer.Find("ok");
  if (ok && ok->type == JsonValue::Type::Bool && ok->boolean) {
    state.ok = true;
    return state;
  }
  std::string description;
  for (const unsigned char c : answer.StringAt("description")) {
    if (description.size() >= 160) break;
    description.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
  }
  const long long code = answer.IntegerAt("error_code", 0);
  if (code == 401) {
    state.problem = "the bot token was refused (401 Unauthorized): it may have been revoked";
  } else if (code == 409) {
    state.problem =
        "another program takes the bot's updates (409 Conflict): " +
        (description.empty() ? std::string("a webhook or a second poller") : description);
  } else {
    state.problem = "Telegram refused the poll (" + std::to_string(code) + ")" +
                    (description.empty() ? std::string() : ": " + description);
  }
  return state;
}

std::string TelegramOrderReplyText(const TelegramOrderLabel& label, TelegramOrderFate fate,
                                   const std::string& detail) {
  std::string tail;
  switch (fate) {
    case TelegramOrderFate::kNotSent:
      tail = "NOT sent: " + EscapeTelegramMarkdown(detail) + ".";
      break;
    case TelegramOrderFate::kSent:
      tail = "sent to terminal.";
      break;
    case TelegramOrderFate::kExecuted:
      tail = "executed, ticket " + EscapeTelegramMarkdown(detail) + ".";
      break;
    case TelegramOrderFate::kRejected:
      tail = "rejected: " + EscapeTelegramMarkdown(detail) + ".";
      break;
    case TelegramOrderFate::kUnknown:
      tail = "unknown: check your positions (" + EscapeTelegramMarkdown(detail) + ").";
      break;
  }
  return label.icon + " *" + label.title + ":* " + label.subject + " " + tail;
}

bool IsTelegramCommandTooOld(std::int64_t messageDate, std::int64_t nowUnixSeconds) {
  if (messageDate <= 0) return true;
  return nowUnixSeconds - messageDate > kTelegramCommandMaxAgeSeconds;
}

std::string TelegramExpiredText(const std::string& rawCommandText) {
  return "\xE2\x8F\xB1 *COMMAND EXPIRED:* " + EscapeTelegramMarkdown(rawCommandText) +
         " is older than " + Decimal(kTelegramCommandMaxAgeSeconds) +
         " seconds and was not executed.";
}

std::string TelegramInterruptedText(std::int64_t updateId) {
  return "\xE2\x9A\xA0\xEF\xB8\x8F *COMMAND INTERRUPTED:* the workspace stopped while handling "
         "update " +
         Decimal(updateId) + "; it was not repeated. Check the terminal before sending it again.";
}

std::string TelegramNotRecordedText(const std::string& error) {
  return "\xE2\x9A\xA0\xEF\xB8\x8F *COMMAND NOT EXECUTED:* the bot state could not be saved (" +
         EscapeTelegramMarkdown(error) + ").";
}

std::string EscapeTelegramMarkdown(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 4);
  for (char c : value) {
    if (c == '_' || c == '*' || c == '`' || c == '[') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::wstring TelegramStateFileName(const std::string& token) {
  // FNV-1a: the file names the token without holding it.
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : token) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"telegram_state_";
  for (int shift = 60; shift >= 0; shift -= 4) name.push_back(kHex[(hash >> shift) & 0xF]);
  return name + L".txt";
}

std::optional<TelegramBotState> ParseTelegramState(const std::string& text) {
  TelegramBotState state;
  bool sawOffset = false;
  // A number past the signed 64-bit range makes its line unreadable, like one with a
  // letter in it; it used to end the bot thread with an exception.
  const auto number = [](std::string_view value, std::int64_t* out) {
    std::uint64_t parsed = 0;
    if (!ParseDecimal(value, &parsed) ||
        parsed > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return false;
    }
    *out = static_cast<std::int64_t>(parsed);
    return true;
  };
  for (const KeyValue& line : ReadKeyValues(text)) {
    if (line.key == "OFFSET" && number(line.value, &state.offset)) {
      sawOffset = true;
    } else if (line.key == "PENDING") {
      (void)number(line.value, &state.pending);
    }
  }
  if (!sawOffset) return std::nullopt;
  return state;
}

std::string TelegramStateBody(const TelegramBotState& state) {
  return "OFFSET=" + Decimal(state.offset) + "\nPENDING=" + Decimal(state.pending);
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

std::string TelegramSendMessageBody(const std::string& chatId, const std::string& text) {
  // Real chat ids are digits, a minus sign or an @name and come out unchanged; escaping
  // them as well keeps a damaged configuration from breaking the JSON.
  // Carriage returns are dropped: the bot's replies have always gone out without them, and
  // a reply must read the same whichever line ends its text came with.
  std::string shown;
  for (const char c : text) {
    if (c != '\r') shown.push_back(c);
  }
  return "{\"chat_id\":" + JsonQuote(chatId) + ",\"text\":" + JsonQuote(shown) +
         ",\"parse_mode\":\"Markdown\"}";
}

std::string TelegramPollUrl(const std::string& apiBase, const std::string& token,
                            std::int64_t offset) {
  return apiBase + "/bot" + token + "/getUpdates?offset=" + std::to_string(offset) + "&timeout=3";
}

std::string TelegramSendMessageUrl(const std::string& apiBase, const std::string& token) {
  return apiBase + "/bot" + token + "/sendMessage";
}
