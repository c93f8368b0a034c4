#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/json.h"
#include "host/process_state.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/hud_channel_win.h"
#include "overlay/ui_queue.h"
#include "overlay/workspace_state.h"
#include "services/http_client.h"
#include "services/telegram.h"
#include "services/telegram_bot.h"
#include "services/workspace_store.h"

namespace {

// The last text pushed of each kind; a push that could not be delivered is forgotten, so the
// next tick tries again.
struct Pushed {
  std::string settings;
  std::string secrets;
  std::string status;
  std::uint64_t stamp = 0;  // of the files the pushes above were made from
};
Pushed g_pushed;

void PushIfChanged(const JsonValue& push, std::string* last, bool force) {
  const std::string text = WriteJson(push);
  if (!force && text == *last) return;
  *last = PushToHud(push) ? text : std::string();
}

// {"type":"status","telegram":"<text>","telegram_error":true|false}
JsonValue StatusPush() {
  JsonValue poll;
  std::string text = "the Telegram bot has not polled yet";
  bool error = false;
  if (ParseJson(ReadTelegramPollStatus(), &poll) && poll.IsObject()) {
    const std::string state = poll.StringAt("state");
    error = state == "error";
    text = state == "ok" ? "polling" : poll.StringAt("text");
  }
  JsonValue push = JsonObject();
  push.Set("type", JsonString("status"));
  push.Set("telegram", JsonString(text));
  push.Set("telegram_error", JsonBool(error));
  return push;
}

}  // namespace

void PushWorkspaceState(bool force) {
  if (!HudCanTakePushes()) {
    // Nobody to tell; the next HUD gets everything when it announces itself.
    g_pushed = Pushed();
    return;
  }
  // The 500 ms tick runs this: files that did not change are not read (nor decrypted) again.
  const std::uint64_t stamp = WorkspaceStateStamp();
  if (!force && stamp == g_pushed.stamp) return;
  g_pushed.stamp = stamp;
  // A missing order_limits.txt is written again for the trader to find, by the writer
  // thread (a flush); the page sees the defaults meanwhile, which hold either way.
  static bool handOverFailed = false;
  if (!RunOffWindowThread(WriteMissingOrderLimits) && !handOverFailed) {
    handOverFailed = true;
    LogDebug("Could not hand the order limits file to the file writer.");
  }
  PushIfChanged(SettingsPush(LoadWorkspaceSettings(), ReadOrderLimits()), &g_pushed.settings,
                force);
  if (!RelayQuestionOpen()) {
    WorkspaceSecrets secrets;
    // An unreadable store shows as empty: the HUD then asks for keys rather than using stale
    // ones.
    (void)LoadWorkspaceSecrets(&secrets);
    PushIfChanged(SecretsPush(secrets), &g_pushed.secrets, force);
  }
  PushIfChanged(StatusPush(), &g_pushed.status, force);
}

namespace {

struct RelayAnswer {
  TelegramRelay relay;
  std::string botName;
  bool allowed = false;
};

std::atomic<bool> g_asking{false};

// The HUD reads the outcome from the secrets push that follows (the relay it shows is the
// stored one); this names it for the HUD's message.
void TellHud(const char* result, const std::string& text) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("relay"));
  push.Set("result", JsonString(result));
  push.Set("text", JsonString(text));
  (void)PushToHud(push);  // unknown to a HUD that reads the secrets push only
  PushWorkspaceState(true);
}

void OnRelayAnswer(const RelayAnswer& answer);

// Worker thread: the bot's name from Telegram, then the question; the answer goes back to the
// window thread's queue, and the window thread alone touches the store and the page.
void Ask(TelegramRelay relay) noexcept {
  RelayAnswer answer;
  try {
    answer.relay = relay;
    answer.botName = TelegramBotNameFromGetMe(
        HttpGet(Utf8ToWide(TelegramGetMeUrl(WideToUtf8(TelegramApiBaseUrl()), relay.token))));
    const std::wstring text = Utf8ToWide(TelegramRelayQuestion(relay, answer.botName));
    const int pressed =
        ::MessageBoxW(nullptr, text.c_str(), Utf8ToWide(kTelegramRelayQuestionTitle).c_str(),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST | MB_SETFOREGROUND);
    answer.allowed = pressed == IDYES;
  } catch (...) {
    answer.allowed = false;
  }
  bool posted = false;
  try {
    posted = PostToWindowThread([answer] { OnRelayAnswer(answer); });
  } catch (...) {
    posted = false;  // the answer's copy into the task could not be made
  }
  if (posted) return;
  // The window is gone (the process is ending): nothing was stored, so nothing is lost.
  g_asking = false;
  LogDebug("The answer about the Telegram relay came after the window closed; nothing changed.");
}

// Window thread. The question stays open until the store answers, so no secrets push of the
// old relay goes out in between for the HUD to take as the outcome.
void OnRelayAnswer(const RelayAnswer& answer) {
  if (!answer.allowed) {
    g_asking = false;
    LogDebug("The trader declined the new Telegram relay; nothing changed.");
    TellHud("declined", "the new Telegram relay was declined at the workspace");
    return;
  }
  const auto stored = [](bool ok) {
    g_asking = false;
    if (!ok) {
      TellHud("failed", "the confirmed Telegram relay could not be stored");
      return;
    }
    LogDebug("Updated Telegram Configuration via WebMessage.");
    TellHud("confirmed", "the new Telegram relay is set");
  };
  const bool queued = RunOffWindowThread(
      [relay = answer.relay, botName = answer.botName] {
        return ChangeWorkspaceSecrets([&](WorkspaceSecrets& s) {
          s.telegramToken = relay.token;
          s.telegramChatId = relay.chatId;
          s.telegramUserId = relay.userId;
          s.telegramBotName = botName;
        });
      },
      stored);
  if (!queued) stored(false);
}

}  // namespace

bool RelayQuestionOpen() {
  return g_asking.load();
}

void AskForRelayChange(const TelegramRelay& relay) {
  WorkspaceSecrets stored;
  if (LoadWorkspaceSecrets(&stored) && IsStoredRelay(stored, relay)) {
    TellHud("unchanged", "this Telegram relay is already set");
    return;
  }
  if (g_asking.exchange(true)) {
    TellHud("failed", "a question about a Telegram relay is already open");
    return;
  }
  LogDebug("Asking the trader to confirm a new Telegram relay (bot id " +
           TelegramBotId(relay.token) + ", chat " + relay.chatId + ").");
  try {
    std::thread(Ask, relay).detach();
  } catch (const std::exception&) {
    g_asking = false;
    LogDebug("Could not ask about the Telegram relay: no thread.");
    TellHud("failed", "the question could not be shown");
  }
}

void RemoveRelay() {
  const auto removed = [](bool ok) {
    if (ok) LogDebug("Removed the Telegram relay via WebMessage.");
    TellHud(ok ? "removed" : "failed",
            ok ? "the Telegram relay is removed" : "the Telegram relay could not be removed");
  };
  const bool queued = RunOffWindowThread(
      [] {
        return ChangeWorkspaceSecrets([](WorkspaceSecrets& s) {
          s.telegramToken.clear();
          s.telegramChatId.clear();
          s.telegramUserId.clear();
          s.telegramBotName.clear();
        });
      },
      removed);
  if (!queued) removed(false);
}
