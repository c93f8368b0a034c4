#pragma once
// The Telegram bot's text work: configuration, the getUpdates scan, commands, replies
// and the sendMessage body. The worker never parses JSON; it searches fixed byte
// sequences, so every routine here works on raw UTF-8 bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TelegramConfig {
  std::string token;
  std::string chatId;
  [[nodiscard]] bool usable() const { return !token.empty() && !chatId.empty(); }
};

// Finds "token":" and "chatid":" anywhere in the text, in either order; a value runs to
// the next double quote. A missing key or closing quote leaves that value empty.
[[nodiscard]] TelegramConfig ParseTelegramConfig(const std::string& text);

// One update of a getUpdates answer, as the scan saw it.
struct TelegramUpdate {
  enum class Kind {
    kNoMessage,    // only advances the offset (edited message, channel post, no chat)
    kForeignChat,  // from a chat other than the configured one
    kNoText,       // an authorised message without text (photo, sticker)
    kText,         // an authorised text message: a command candidate
  };
  std::int64_t updateId = 0;
  Kind kind = Kind::kNoMessage;
  std::string chatId;  // stripped chat id text, for the rejection log line
  std::string text;    // raw bytes between the quotes; JSON escapes stay as they are
};

// Scans a getUpdates body for every "update_id": in order. Each update's keys are
// looked for only inside its own span (up to the next "update_id":), so a photo
// message cannot borrow the text of the update after it.
[[nodiscard]] std::vector<TelegramUpdate> ScanTelegramUpdates(const std::string& body,
                                                              const std::string& configuredChatId);

// The decimal reading of the update id: leading blanks, optional sign, digits until the
// first other byte, 0 without digits. Saturates instead of overflowing.
[[nodiscard]] std::int64_t ParseUpdateId(const std::string& text);

// Offset to ask for after lastUpdateId, without overflowing at the top of the range.
[[nodiscard]] std::int64_t NextOffset(std::int64_t lastUpdateId);

// What one command text asks for: the record to write (if any) and the reply (if any).
struct CommandOutcome {
  std::optional<std::string> record;  // QV_TradeSignal.csv content
  std::optional<std::string> reply;   // text for SendTelegramMessage
};

// tickId: the tick count in decimal, used as the record id. hostSymbol: UTF-8 symbol of
// the process, shown by /status.
[[nodiscard]] CommandOutcome HandleTelegramCommand(const std::string& text,
                                                   const std::string& tickId,
                                                   const std::string& hostSymbol);

[[nodiscard]] std::string TelegramStatusText(const std::string& hostSymbol);
[[nodiscard]] const std::string& TelegramHelpText();
// Reply to a /buy or /sell whose symbol or risk would add fields or records to the
// trade-signal file.
[[nodiscard]] const std::string& TelegramRejectedWordText();

// JSON string contents for the text: quote, backslash, line feed and tab escaped, carriage
// returns dropped, every other control byte as \u00XX, so the body is always valid JSON.
[[nodiscard]] std::string EscapeTelegramText(const std::string& text);

// {"chat_id":"<id>","text":"<escaped>","parse_mode":"Markdown"}
[[nodiscard]] std::string TelegramSendMessageBody(const std::string& chatId,
                                                  const std::string& text);

// base + "/bot" + token + "/getUpdates?offset=" + offset + "&timeout=3"
[[nodiscard]] std::string TelegramPollUrl(const std::string& apiBase, const std::string& token,
                                          std::int64_t offset);
// base + "/bot" + token + "/sendMessage"
[[nodiscard]] std::string TelegramSendMessageUrl(const std::string& apiBase,
                                                 const std::string& token);
