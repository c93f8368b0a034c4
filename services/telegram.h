#pragma once
// The Telegram bot on the Windows side: configuration file, outgoing messages and the
// polling worker.
#include "services/telegram_bot.h"

// The relay of the workspace's protected store (a configuration an earlier version left in
// a plain file is moved there first); every value empty when none is set.
[[nodiscard]] TelegramConfig ReadTelegramConfig();

// The bot's poll state as the poller last saw it, shared by every process of the log-on
// (telegram_status.json in the workspace data folder): {"state":"ok|off|error","text":...}.
[[nodiscard]] std::string ReadTelegramPollStatus();

// Posts the text to the chat on a thread of its own; does nothing when any of the three
// is empty. The answer is never read.
void SendTelegramMessage(const std::string& token, const std::string& chatId,
                         const std::string& text);

// Thread procedure: polls the bot until the shutting-down flag is seen. Only one worker
// of the log-on polls at a time; the others wait and take over when it ends.
void TelegramWorker() noexcept;
