#pragma once
// The Telegram bot's text work: configuration, the getUpdates scan, commands, replies
// and the sendMessage body. The worker never parses JSON; it searches fixed byte
// sequences, so every routine here works on raw UTF-8 bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bridge/order_files.h"

struct TelegramConfig {
  std::string token;
  std::string chatId;
  // The one Telegram user whose messages in the chat are obeyed (empty: nobody's, a group
  // chat without a named user); and the bot's own name, for commands addressed "@<bot>".
  std::string userId;
  std::string botName;
  [[nodiscard]] bool usable() const { return !token.empty() && !chatId.empty(); }
};

// The string members "token" and "chatid" of the JSON object the file holds; a value that
// is missing or not a string, or a file that is not a whole JSON object, is empty.
[[nodiscard]] TelegramConfig ParseTelegramConfig(const std::string& text);

// One update of a getUpdates answer, as the scan saw it.
struct TelegramUpdate {
  enum class Kind {
    kNoMessage,    // only advances the offset (edited message, channel post, no chat)
    kForeignChat,  // from a chat other than the configured one
    kForeignUser,  // from the configured chat, but not from the configured user
    kNoText,       // an authorised message without text (photo, sticker)
    kText,         // an authorised text message: a command candidate
  };
  std::int64_t updateId = 0;
  Kind kind = Kind::kNoMessage;
  std::string chatId;     // stripped chat id text, for the rejection log line
  std::string userId;     // the sender's ("from") id text, stripped the same way
  std::int64_t date = 0;  // the message's own "date" (Unix seconds), 0 when absent
  std::string text;       // raw bytes between the quotes; JSON escapes stay as they are
};

// Scans a getUpdates body for every "update_id": in order. Each update's keys are
// looked for only inside its own span (up to the next "update_id":), so a photo
// message cannot borrow the text of the update after it, and only among the message's own
// members, so a reply never yields the text, chat or date of the message it quotes.
// A message counts only from the configured chat and, in it, from the configured user: in a
// group every member can write, and chat-only authorisation let each of them trade.
[[nodiscard]] std::vector<TelegramUpdate> ScanTelegramUpdates(const std::string& body,
                                                              const std::string& configuredChatId,
                                                              const std::string& configuredUserId);

// The decimal reading of the update id: leading blanks, optional sign, digits until the
// first other byte, 0 without digits. Saturates instead of overflowing.
[[nodiscard]] std::int64_t ParseUpdateId(const std::string& text);

// Offset to ask for after lastUpdateId, without overflowing at the top of the range.
[[nodiscard]] std::int64_t NextOffset(std::int64_t lastUpdateId);

// How a trading command is named in its reply: "<icon> *<title>:* <subject> <fate>".
struct TelegramOrderLabel {
  std::string icon;
  std::string title;    // fixed text, Markdown intended
  std::string subject;  // chat words inside, already Markdown-escaped
};

// What one command text asks for: the order to send (if any) with its reply label, or the
// reply (if any) of a command that does not trade.
struct CommandOutcome {
  std::optional<Order> trade;  // the order; its id is replaced by the outbox
  std::optional<TelegramOrderLabel> order;
  std::optional<std::string> reply;  // text for SendTelegramMessage
};

// placeholderId: the record's first field until the outbox assigns the id. hostSymbol:
// UTF-8 symbol of the process, shown by /status. A command is the message's whole first
// word ("/be", never "/beware"), optionally "@<botName>" (letter case aside); a word naming
// another bot, or any bot while botName is unknown, is no command.
[[nodiscard]] CommandOutcome HandleTelegramCommand(const std::string& text,
                                                   const std::string& placeholderId,
                                                   const std::string& hostSymbol,
                                                   const std::string& botName);

// What one getUpdates answer says about the poll: fine, or the problem to log once and show
// in the HUD (no answer at all, a refused token, a webhook in the way, another error).
struct TelegramPollState {
  bool ok = false;
  std::string problem;  // one line of plain text when not ok
};
[[nodiscard]] TelegramPollState ClassifyTelegramPoll(const std::string& body);

// The bot's username from a getMe answer ({"ok":true,"result":{"username":"..."}}); empty when
// the answer holds none that could be shown and matched safely (letters, digits, '_').
[[nodiscard]] std::string TelegramBotNameFromGetMe(const std::string& body);
// base + "/bot" + token + "/getMe"
[[nodiscard]] std::string TelegramGetMeUrl(const std::string& apiBase, const std::string& token);

[[nodiscard]] std::string TelegramStatusText(const std::string& hostSymbol);
[[nodiscard]] const std::string& TelegramHelpText();
// Reply to a /buy or /sell whose symbol or risk would add fields or records to the
// trade-signal file.
[[nodiscard]] const std::string& TelegramRejectedWordText();

// What became of a command's order, as far as the worker knows when it replies.
enum class TelegramOrderFate { kNotSent, kSent, kExecuted, kRejected, kUnknown };
// detail: the Windows error text (not sent), the ticket (executed) or the reason (rejected,
// unknown: the terminal stopped mid-way and cannot tell whether it filled).
[[nodiscard]] std::string TelegramOrderReplyText(const TelegramOrderLabel& label,
                                                 TelegramOrderFate fate, const std::string& detail);

// Commands older than this when first seen are not executed: Telegram keeps updates for a
// day, and a /closeall typed during an outage must not fire when the workspace comes back.
inline constexpr std::int64_t kTelegramCommandMaxAgeSeconds = 90;
// A message without a date is taken as old: every real message carries one.
[[nodiscard]] bool IsTelegramCommandTooOld(std::int64_t messageDate, std::int64_t nowUnixSeconds);
[[nodiscard]] std::string TelegramExpiredText(const std::string& rawCommandText);
// After a restart: the command that was being handled when the worker ended is not
// repeated, and the trader is told so.
[[nodiscard]] std::string TelegramInterruptedText(std::int64_t updateId);
// The offset could not be recorded, so the command was not executed (it could otherwise
// run twice after a restart).
[[nodiscard]] std::string TelegramNotRecordedText(const std::string& error);

// Legacy Markdown marks (_ * ` [) in an inserted value escaped with a backslash, so that
// Telegram never refuses a reply because a symbol or a reason holds one.
[[nodiscard]] std::string EscapeTelegramMarkdown(const std::string& value);

// The bot's state for one token, in the shared workspace data folder: the next offset to
// ask for and the update being handled (0 when none). A new token has no file yet, so it
// starts at offset 0 instead of skipping the new bot's low update ids.
struct TelegramBotState {
  std::int64_t offset = 0;
  std::int64_t pending = 0;
};
[[nodiscard]] std::wstring TelegramStateFileName(const std::string& token);
[[nodiscard]] std::optional<TelegramBotState> ParseTelegramState(const std::string& text);
[[nodiscard]] std::string TelegramStateBody(const TelegramBotState& state);

// {"chat_id":"<id>","text":"<text>","parse_mode":"Markdown"}, both as JSON strings; carriage
// returns are dropped from the text.
[[nodiscard]] std::string TelegramSendMessageBody(const std::string& chatId,
                                                  const std::string& text);

// base + "/bot" + token + "/getUpdates?offset=" + offset + "&timeout=3"
[[nodiscard]] std::string TelegramPollUrl(const std::string& apiBase, const std::string& token,
                                          std::int64_t offset);
// base + "/bot" + token + "/sendMessage"
[[nodiscard]] std::string TelegramSendMessageUrl(const std::string& apiBase,
                                                 const std::string& token);
