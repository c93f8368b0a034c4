#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/hud_link.h"
#include "overlay/relay_confirmation.h"
#include "overlay/ui_queue.h"
#include "overlay/workspace_pushes.h"
#include "services/endpoints.h"
#include "services/http_client.h"
#include "services/telegram_bot.h"
#include "services/workspace_store.h"

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
