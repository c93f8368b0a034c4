#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/order_files.h"
#include "bridge/order_outbox.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/file_time_win.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/http_client.h"
#include "services/host_symbol.h"
#include "services/service_threads.h"
#include "services/telegram.h"
#include "services/telegram_pass.h"
#include "services/workspace_store.h"

namespace {

constexpr DWORD kPassSleepMs = 2500;
constexpr wchar_t kPollerMutexName[] = L"QuorvaleWorkspace_Telegram_Mutex";
// How long a reply waits for the companion's result before it says "sent to terminal".
constexpr int kResultWaitSteps = 24;
constexpr DWORD kResultWaitStepMs = 250;

// The daemon and every child run a worker against the same bot. Telegram hands an update
// to every poller until some poll confirms it, so concurrent pollers would execute one
// command several times. The worker that holds this mutex is the only one that polls;
// a waiting worker becomes the poller when the holder's thread or process ends (normal
// release or abandonment). Where the previous poller stopped is in the bot's state file,
// which outlives every process.
class PollerLease {
 public:
  PollerLease() : mutex_(::CreateMutexW(nullptr, FALSE, kPollerMutexName)) {}
  ~PollerLease() {
    if (owned_) ::ReleaseMutex(mutex_.get());
  }
  PollerLease(const PollerLease&) = delete;
  PollerLease& operator=(const PollerLease&) = delete;

  // True when this worker is the poller, waiting up to waitMs to become it. Without the
  // mutex (creation failed) the worker polls alone, as it would have without the lease.
  [[nodiscard]] bool Acquire(DWORD waitMs) {
    if (owned_ || !mutex_) return true;
    const DWORD result = ::WaitForSingleObject(mutex_.get(), waitMs);
    // Abandoned means the previous poller's process ended without releasing: the lease
    // is ours all the same.
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (result == WAIT_FAILED) ::Sleep(waitMs);
    return owned_;
  }

 private:
  UniqueHandle mutex_;
  bool owned_ = false;
};

std::int64_t UnixSecondsNow() {
  return static_cast<std::int64_t>(UnixMsNow() / 1000);
}

std::wstring StatePath(const std::string& token) {
  return g_folders.workspaceRoot + L"\\" + TelegramStateFileName(token);
}

std::wstring PollStatusPath() {
  return g_folders.workspaceRoot + L"\\telegram_status.json";
}

// The poller's view of the bot for every HUD: written when it changes, and each distinct
// problem logged once (a revoked token or a webhook would otherwise be silent, and every pass
// would repeat it).
void NotePollState(const std::string& state, const std::string& text) {
  static std::string last;
  JsonValue status = JsonObject();
  status.Set("state", JsonString(state));
  status.Set("text", JsonString(text));
  const std::string body = WriteJson(status);
  if (body == last) return;
  const bool wasProblem = last.find("\"error\"") != std::string::npos;
  last = body;
  if (state == "error") {
    LogDebug("Telegram poll failed: " + text);
  } else if (wasProblem && state == "ok") {
    LogDebug("Telegram poll works again.");
  }
  const WriteStatus written =
      ReplaceFileWhole(PollStatusPath(), body, WriteRetry::kPatient, WriteDurability::kProcessKill);
  if (!written.ok()) {
    LogDebug("Could not write telegram_status.json: " + DescribeWriteError(written.error));
  }
}

TelegramBotState ReadState(const std::string& token) {
  const std::wstring path = StatePath(token);
  if (!FileExists(path)) return {};
  const std::optional<TelegramBotState> state = ParseTelegramState(WideToUtf8(ReadTextFile(path)));
  if (!state) LogDebug("Telegram bot state file is damaged; starting from offset 0.");
  return state.value_or(TelegramBotState{});
}

[[nodiscard]] WriteStatus SaveState(const std::string& token, const TelegramBotState& state) {
  return ReplaceFileWhole(StatePath(token), TelegramStateBody(state), WriteRetry::kPatient);
}

// The answer to a command goes out before the command counts as handled (the state file's
// pending mark is cleared only after this returns). Posted on a thread of its own, it could
// still be on its way when the process is killed right after the mark is cleared, and the
// trader would never hear what became of the order.
void ReplyNow(const TelegramConfig& config, const std::string& text) {
  if (config.token.empty() || config.chatId.empty() || text.empty()) return;
  PostJson(Utf8ToWide(TelegramSendMessageUrl(WideToUtf8(TelegramApiBaseUrl()), config.token)),
           TelegramSendMessageBody(config.chatId, text));
}

// Sends the order and waits a few seconds for the companion's answer.
std::string SendOrderAndDescribe(const CommandOutcome& outcome) {
  // The workspace's hard limits hold for the bot as for the page: a command over one never
  // reaches the outbox.
  const std::string overLimit = OrderLimitBroken(*outcome.trade, CurrentOrderLimits());
  if (!overLimit.empty()) {
    LogDebug("Telegram order NOT sent: " + OrderRecordLine(*outcome.trade) + " (" + overLimit +
             ")");
    return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kNotSent, overLimit);
  }
  const OrderSend send = SendOrder(*outcome.trade, false);
  if (!send.status.ok()) {
    const std::string error =
        send.refusal.empty() ? DescribeWriteError(send.status.error) : send.refusal;
    LogDebug("Telegram order NOT sent: " + send.record + " (could not " + send.step + ": " + error +
             ")");
    return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kNotSent, error);
  }
  LogDebug("Emitted Telegram order to MT5: " + send.record +
           (send.order.account.empty() ? "" : " for account " + send.order.account));
  for (int step = 0; step < kResultWaitSteps && !ShuttingDownFlag().load(); ++step) {
    ::Sleep(kResultWaitStepMs);
    const std::optional<TradeResult> result = TakeTradeResult(send.order.id);
    if (!result) continue;
    if (result->status == TradeResult::Status::kExecuted) {
      LogDebug("Order " + send.order.id + " executed ticket " + result->ticket);
      return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kExecuted, result->ticket);
    }
    if (result->status == TradeResult::Status::kUnknown) {
      LogDebug("Order " + send.order.id + " unknown: " + result->reason);
      return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kUnknown, result->reason);
    }
    LogDebug("Order " + send.order.id + " rejected: " + result->reason);
    return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kRejected,
                                  result->reason.empty() ? "no reason given" : result->reason);
  }
  // The page's timer would collect a late result; for Telegram the daemon's sweep does.
  return TelegramOrderReplyText(*outcome.order, TelegramOrderFate::kSent, {});
}

void HandleUpdates(const std::string& body, const TelegramConfig& config, TelegramBotState& state) {
  using Action = TelegramStep::Action;
  for (const TelegramUpdate& update : ScanTelegramUpdates(body, config.chatId, config.userId)) {
    const TelegramStep step = DecideTelegramUpdate(update, state, WideToUtf8(CurrentHostSymbol()),
                                                   UnixSecondsNow(), config.botName);
    if (step.action == Action::kSkip) continue;
    // Without the record the command is not run at all.
    const WriteStatus saved = SaveState(config.token, step.recorded);
    if (!saved.ok()) {
      const std::string error = DescribeWriteError(saved.error);
      LogDebug("Could not record the Telegram offset: " + error);
      if (step.tellWhenNotRecorded) {
        ReplyNow(config, TelegramNotRecordedText(error));
      }
      // Kept in memory so this process does not run it either; the next poll confirms it.
      state = step.done;
      continue;
    }
    state = step.recorded;
    switch (step.action) {
      case Action::kRejectForeign:
        if (update.kind == TelegramUpdate::Kind::kForeignUser) {
          LogDebug("Rejected unauthorized Telegram message from user ID: " +
                   (update.userId.empty() ? std::string("(none)") : update.userId) +
                   " in chat ID: " + update.chatId);
        } else {
          LogDebug("Rejected unauthorized Telegram message from chat ID: " + update.chatId);
        }
        break;
      case Action::kReplyExpired:
        LogDebug("Telegram command too old, not executed: " + update.text);
        ReplyNow(config, step.reply);
        break;
      case Action::kSendOrder:
        ReplyNow(config, SendOrderAndDescribe(step.outcome));
        break;
      case Action::kReply:
        ReplyNow(config, step.reply);
        break;
      case Action::kSkip:
      case Action::kNone:
        break;
    }
    state = step.done;
    const WriteStatus done = SaveState(config.token, state);
    if (!done.ok())
      LogDebug("Could not record the Telegram offset: " + DescribeWriteError(done.error));
  }
}

}  // namespace

TelegramConfig ReadTelegramConfig() {
  MigrateLegacySecrets();
  WorkspaceSecrets secrets;
  if (!LoadWorkspaceSecrets(&secrets)) return {};
  TelegramConfig config;
  config.token = secrets.telegramToken;
  config.chatId = secrets.telegramChatId;
  config.userId = secrets.telegramUserId;
  config.botName = secrets.telegramBotName;
  return config;
}

std::string ReadTelegramPollStatus() {
  const std::wstring path = PollStatusPath();
  return FileExists(path) ? WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes))
                          : std::string();
}

void SendTelegramMessage(const std::string& token, const std::string& chatId,
                         const std::string& text) {
  if (token.empty() || chatId.empty() || text.empty()) return;
  const std::wstring url =
      Utf8ToWide(TelegramSendMessageUrl(WideToUtf8(TelegramApiBaseUrl()), token));
  if (!PostJsonAsync(url, TelegramSendMessageBody(chatId, text)))
    LogDebug("Telegram reply could not be sent: no thread for the request.");
}

// The bot's own name, for commands addressed "/status@<bot>": learned from Telegram once per
// token when the relay came without it (moved from an older version's file).
void LearnBotName(TelegramConfig* config) {
  static std::string asked;
  if (!config->botName.empty() || config->token == asked) return;
  asked = config->token;
  const std::string name = TelegramBotNameFromGetMe(
      HttpGet(Utf8ToWide(TelegramGetMeUrl(WideToUtf8(TelegramApiBaseUrl()), config->token))));
  if (name.empty()) return;
  config->botName = name;
  const std::string token = config->token;
  if (!ChangeWorkspaceSecrets([&](WorkspaceSecrets& s) {
        if (s.telegramToken == token) s.telegramBotName = name;
      })) {
    LogDebug("Could not keep the Telegram bot's name; it is asked for again after a restart.");
  }
}

void TelegramWorker() noexcept {
  LogDebug("Starting Quorvale Telegram Bot Worker...");
  PollerLease lease;
  for (;;) {
    if (ShuttingDownFlag().load()) return;
    try {
      // A waiting worker spends its pass waiting for the lease instead of sleeping.
      if (!lease.Acquire(kPassSleepMs)) continue;
      TelegramConfig config = ReadTelegramConfig();
      if (config.usable()) {
        LearnBotName(&config);
        // Read every pass: another process may have polled before this one got the lease,
        // and a changed token has a state of its own.
        TelegramBotState state = ReadState(config.token);
        if (state.pending != 0) {
          LogDebug("Telegram update " + std::to_string(state.pending) +
                   " was interrupted and is not repeated.");
          ReplyNow(config, TelegramInterruptedText(state.pending));
          state.pending = 0;
          const WriteStatus cleared = SaveState(config.token, state);
          if (!cleared.ok()) {
            LogDebug("Could not record the Telegram offset: " + DescribeWriteError(cleared.error));
          }
        }
        const std::string apiBase = WideToUtf8(TelegramApiBaseUrl());
        const std::string body = HttpGet(Utf8ToWide(
            TelegramPollUrl(apiBase, config.token, std::max<std::int64_t>(state.offset, 1))));
        const TelegramPollState poll = ClassifyTelegramPoll(body);
        NotePollState(poll.ok ? "ok" : "error", poll.problem);
        if (poll.ok) HandleUpdates(body, config, state);
      } else {
        NotePollState("off", "no Telegram relay is set");
      }
    } catch (...) {
      LogDebug("Telegram worker exception handled.");
    }
    ::Sleep(kPassSleepMs);
  }
}
