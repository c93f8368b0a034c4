#include "services/telegram_pass.h"

#include <limits>

TelegramStep DecideTelegramUpdate(const TelegramUpdate& update, const TelegramBotState& state,
                                  const std::string& hostSymbol, std::int64_t nowUnixSeconds,
                                  const std::string& botName) {
  using Action = TelegramStep::Action;
  TelegramStep step;
  if (update.updateId < state.offset) return step;
  step.recorded = {NextOffset(update.updateId), update.updateId};
  step.done = {step.recorded.offset, 0};
  step.action = Action::kNone;
  step.tellWhenNotRecorded = update.kind == TelegramUpdate::Kind::kText;
  // Ids saturate at the top of the range (ParseUpdateId), and no offset lies past the top:
  // such an update could come back on every poll, so it is recorded and never run.
  if (update.updateId == std::numeric_limits<std::int64_t>::max()) return step;
  if (update.kind == TelegramUpdate::Kind::kForeignChat ||
      update.kind == TelegramUpdate::Kind::kForeignUser) {
    step.action = Action::kRejectForeign;
    return step;
  }
  if (update.kind != TelegramUpdate::Kind::kText) return step;
  // The record's id is the outbox's to give; "0" stands in until then.
  step.outcome = HandleTelegramCommand(update.text, "0", hostSymbol, botName);
  const bool isCommand = step.outcome.trade || step.outcome.reply;
  if (isCommand && IsTelegramCommandTooOld(update.date, nowUnixSeconds)) {
    step.action = Action::kReplyExpired;
    step.reply = TelegramExpiredText(update.text);
  } else if (step.outcome.trade && step.outcome.order) {
    step.action = Action::kSendOrder;
  } else if (step.outcome.reply) {
    step.action = Action::kReply;
    step.reply = *step.outcome.reply;
  }
  return step;
}
