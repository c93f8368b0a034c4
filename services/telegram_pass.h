#pragma once
// One update of a getUpdates pass, decided without the OS: whether it is new, the state to
// record before anything runs, what to run or reply, and the state once it is done.
#include <cstdint>
#include <string>

#include "services/telegram_bot.h"

struct TelegramStep {
  enum class Action {
    kSkip,           // confirmed by an earlier poller: nothing is recorded or run
    kNone,           // recorded only (no message, no text, or text that is no command)
    kRejectForeign,  // recorded; a message from another chat or user is logged, not answered
    kReplyExpired,   // recorded; the command is too old to run: reply says so
    kSendOrder,      // recorded; the order is sent (outcome.trade, outcome.order)
    kReply,          // recorded; reply is sent
  };
  Action action = Action::kSkip;
  // Written before the action runs: a worker killed in the middle of a command loses that
  // one command (and says so on the next start) rather than letting its successor place
  // the trade a second time.
  TelegramBotState recorded;
  // Written once the action is done; also kept in memory (without the pending id) when the
  // first record could not be written, and then nothing runs.
  TelegramBotState done;
  // When the first record cannot be written the trader is told, for text messages only.
  bool tellWhenNotRecorded = false;
  CommandOutcome outcome;
  std::string reply;
};

// nowUnixSeconds: the clock when this update is handled (earlier orders of the same pass
// may have waited for their results).
// botName: the bot's own name, for commands addressed to it ("/status@<bot>").
[[nodiscard]] TelegramStep DecideTelegramUpdate(const TelegramUpdate& update,
                                                const TelegramBotState& state,
                                                const std::string& hostSymbol,
                                                std::int64_t nowUnixSeconds,
                                                const std::string& botName);
