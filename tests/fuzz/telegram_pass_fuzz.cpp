// One poll of the bot, update by update as the worker runs it. Input: the stored offset
// (decimal), a line feed, the configured chat id, a line feed, the getUpdates body. Each
// update runs at most once and is recorded before it runs; only a fresh command from the
// configured chat and its user (the same id, a private chat) trades or is answered.
#include "fuzz_support.h"
#include "services/telegram_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Action = TelegramStep::Action;
  const std::vector<std::string> head = fuzz::Split(fuzz::Bytes(data, size), '\n');
  if (head.size() < 3) return 0;
  const std::string& chatId = head[1];
  const std::string body = fuzz::Bytes(data, size).substr(head[0].size() + head[1].size() + 2);
  constexpr std::int64_t kNow = 1765000000;

  TelegramBotState state{ParseUpdateId(head[0]), 0};
  std::int64_t lastRun = 0;
  bool ranAny = false;
  for (const TelegramUpdate& update : ScanTelegramUpdates(body, chatId, chatId)) {
    const TelegramStep step = DecideTelegramUpdate(update, state, "XAUUSD", kNow, "QuorvaleBot");
    if (step.action == Action::kSkip) {
      FUZZ_CHECK(update.updateId < state.offset);
      continue;
    }
    FUZZ_CHECK(update.updateId >= state.offset);
    if (step.action == Action::kSendOrder || step.action == Action::kReply ||
        step.action == Action::kReplyExpired) {
      FUZZ_CHECK(!ranAny || update.updateId > lastRun);
      ranAny = true;
      lastRun = update.updateId;
    }
    FUZZ_CHECK(step.recorded.pending == update.updateId);
    FUZZ_CHECK(step.recorded.offset == NextOffset(update.updateId));
    FUZZ_CHECK(step.done.offset == step.recorded.offset && step.done.pending == 0);
    FUZZ_CHECK(step.tellWhenNotRecorded == (update.kind == TelegramUpdate::Kind::kText));
    switch (step.action) {
      case Action::kSendOrder: {
        FUZZ_CHECK(step.outcome.trade && step.outcome.order);
        const std::string record = OrderRecordLine(*step.outcome.trade);
        FUZZ_CHECK(fuzz::Split(record, ',').size() == 6);
        for (unsigned char c : record) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
        [[fallthrough]];
      }
      case Action::kReply:
        FUZZ_CHECK(update.kind == TelegramUpdate::Kind::kText && update.chatId == chatId &&
                   update.userId == chatId);
        FUZZ_CHECK(!IsTelegramCommandTooOld(update.date, kNow));
        FUZZ_CHECK(step.action == Action::kSendOrder || !step.reply.empty());
        break;
      case Action::kReplyExpired:
        FUZZ_CHECK(update.kind == TelegramUpdate::Kind::kText);
        FUZZ_CHECK(IsTelegramCommandTooOld(update.date, kNow) && !step.reply.empty());
        break;
      case Action::kRejectForeign:
        FUZZ_CHECK(update.kind == TelegramUpdate::Kind::kForeignChat ||
                   update.kind == TelegramUpdate::Kind::kForeignUser);
        break;
      case Action::kNone:
      case Action::kSkip:
        break;
    }
    state = step.done;
  }
  return 0;
}
