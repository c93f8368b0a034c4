#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/child_lifecycle.h"
#include "overlay/hud_link.h"
#include "overlay/relay_confirmation.h"
#include "overlay/workspace_pushes.h"
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

// Worker thread: the bot's name from Telegram, then the question; the answer goes back to the
// window thread, which alone touches the store and the page.
void Ask(HWND window, TelegramRelay relay) noexcept {
  auto answer = std::make_unique<RelayAnswer>();
  try {
    answer->relay = relay;
    answer->botName = TelegramBotNameFromGetMe(
        HttpGet(Utf8ToWide(TelegramGetMeUrl(WideToUtf8(TelegramApiBaseUrl()), relay.token))));
    const std::wstring text = Utf8ToWide(TelegramRelayQuestion(relay, answer->botName));
    const int pressed =
        ::MessageBoxW(nullptr, text.c_str(), Utf8ToWide(kTelegramRelayQuestionTitle).c_str(),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST | MB_SETFOREGROUND);
    answer->allowed = pressed == IDYES;
  } catch (...) {
    answer->allowed = false;
  }
  if (::PostMessageW(window, kRelayAnswerMessage, 0, reinterpret_cast<LPARAM>(answer.get()))) {
    answer.release();  // the window's OnRelayAnswer owns it now
    return;
  }
  // The window is gone (the process is ending): nothing was stored, so nothing is lost.
  g_asking = false;
  LogDebug("The answer about the Telegram relay came after the window closed; nothing changed.");
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
    std::thread(Ask, g_windows.window, relay).detach();
  } catch (const std::exception&) {
    g_asking = false;
    LogDebug("Could not ask about the Telegram relay: no thread.");
    TellHud("failed", "the question could not be shown");
  }
}

void RemoveRelay() {
  const bool removed = ChangeWorkspaceSecrets([](WorkspaceSecrets& s) {
    s.telegramToken.clear();
    s.telegramChatId.clear();
    s.telegramUserId.clear();
    s.telegramBotName.clear();
  });
  if (removed) LogDebug("Removed the Telegram relay via WebMessage.");
  TellHud(removed ? "removed" : "failed",
          removed ? "the Telegram relay is removed" : "the Telegram relay could not be removed");
}

void OnRelayAnswer(LPARAM raw) {
  const std::unique_ptr<RelayAnswer> answer(reinterpret_cast<RelayAnswer*>(raw));
  g_asking = false;
  if (!answer) return;
  if (!answer->allowed) {
    LogDebug("The trader declined the new Telegram relay; nothing changed.");
    TellHud("declined", "the new Telegram relay was declined at the workspace");
    return;
  }
  const bool stored = ChangeWorkspaceSecrets([&](WorkspaceSecrets& s) {
    s.telegramToken = answer->relay.token;
    s.telegramChatId = answer->relay.chatId;
    s.telegramUserId = answer->relay.userId;
    s.telegramBotName = answer->botName;
  });
  if (!stored) {
    TellHud("failed", "the confirmed Telegram relay could not be stored");
    return;
  }
  LogDebug("Updated Telegram Configuration via WebMessage.");
  TellHud("confirmed", "the new Telegram relay is set");
}
