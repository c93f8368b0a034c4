#include <windows.h>

#include <cstdint>
#include <string>

#include "host/json.h"
#include "overlay/hud_link.h"
#include "overlay/relay_confirmation.h"
#include "overlay/workspace_pushes.h"
#include "services/telegram.h"
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
  PushIfChanged(SettingsPush(LoadWorkspaceSettings(), CurrentOrderLimits()), &g_pushed.settings,
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
