#pragma once
// The Telegram bot on the Windows side: configuration file, outgoing messages and the
// polling worker.
#include "services/telegram_bot.h"

// QV_TelegramConfig.json in the workspace folder (a copy found in the bridge folder is moved
// there first); both values empty when it is missing.
[[nodiscard]] TelegramConfig ReadTelegramConfig();

// Where the Telegram configuration is kept: only the host reads it.
[[nodiscard]] std::wstring TelegramConfigPath();

// Posts the text to the chat on a thread of its own; does nothing when any of the three
// is empty. The answer is never read.
void SendTelegramMessage(const std::string& token, const std::string& chatId,
                         const std::string& text);

// Thread procedure: polls the bot until the shutting-down flag is seen. Only one worker
// of the log-on polls at a time; the others wait and take over when it ends.
void TelegramWorker() noexcept;
