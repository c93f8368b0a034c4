#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/order_files.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/bar_claim.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/hud_channel_win.h"
#include "overlay/order_fate.h"
#include "overlay/order_queue.h"
#include "overlay/page_scripts.h"
#include "overlay/web_message.h"
#include "overlay/web_message_action.h"
#include "overlay/web_message_handler.h"
#include "overlay/webview_host.h"
#include "overlay/workspace_state.h"
#include "services/host_symbol.h"
#include "services/workspace_store.h"

namespace {

std::wstring BridgeFile(const wchar_t* name) {
  return BridgePath(g_folders.bridge, name);
}

// The writes below are flushed and retried while a reader holds the file: the writer thread
// does them, and the outcome is logged when it comes back to the window thread.
void Write(const std::wstring& path, const std::string& body,
           std::function<void(WriteStatus)> told) {
  if (!ReplaceFileOffWindowThread(path, body, told)) told(WriteStatus{ERROR_GEN_FAILURE});
}

void SyncSymbol(const WebMessageAction& action) {
  SetHostSymbol(Utf8ToWide(action.symbol));
  Write(BridgeFile(WideName(kSymbolSyncName).c_str()), action.body,
        [symbol = action.symbol](WriteStatus status) {
          if (!status.ok()) {
            LogDebug("Could not write Symbol Sync " + symbol + ": " +
                     DescribeWriteError(status.error));
            return;
          }
          LogDebug("Emitted Symbol Sync to MT5: " + symbol);
        });
}

void HandleAiStatus(const std::string& rest) {
  Write(BridgeFile(WideName(kAiStatusName).c_str()), rest, [](WriteStatus status) {
    // Rewritten often; one line per failure would flood the log, so only the change is told.
    static bool failing = false;
    if (!status.ok() && !failing) {
      LogDebug("Could not write QV_AIStatus.json: " + DescribeWriteError(status.error));
    }
    failing = !status.ok();
  });
}

void LogRefused(const char* what, const std::vector<std::string>& refused) {
  for (const std::string& r : refused) {
    LogDebug(std::string("Refused ") + what + " " + PrintableForLog(r));
  }
}

// The store writes below take a lock another process may hold and flush to the disk: the
// writer thread does them, and the page is answered when the outcome comes back. A failed
// write shows as the stored values the push carries, never as the page's own.
void StoreSettings(const std::string& body) {
  JsonValue object;
  const SettingsUpdate update =
      ParseJson(body, &object) ? ParseSettingsUpdate(object) : SettingsUpdate();
  if (!update.readable) {
    LogDebug("Dropped SETTINGS_SET that is not one JSON object.");
    return;
  }
  LogRefused("setting", update.refused);
  if (update.set.names.empty()) {
    PushWorkspaceState(true);
    return;
  }
  const auto stored = [count = update.set.names.size()](bool ok) {
    if (ok) {
      LogDebug("Updated the workspace settings via the HUD (" + std::to_string(count) + ").");
    }
    PushWorkspaceState(true);
  };
  if (!RunOffWindowThread(
          [set = update.set] { return StoreWorkspaceSettings(set, /*onlyMissing=*/false); },
          stored)) {
    LogDebug("The workspace's settings were not stored: no file writer.");
    stored(false);
  }
}

// After the keys are stored (or were not to be): a relay in the same message is asked for,
// removed, or left, as the stored secrets say.
void ApplyRelayOfUpdate(const SecretsUpdate& update) {
  if (update.changesRelay()) {
    WorkspaceSecrets stored;
    const std::optional<TelegramRelay> relay =
        LoadWorkspaceSecrets(&stored) ? RelayFromUpdate(update, stored) : std::nullopt;
    if (!relay) {
      LogDebug("Dropped a Telegram relay that names no usable bot, chat or user.");
    } else if (relay->removes()) {
      RemoveRelay();
      return;
    } else if (!IsStoredRelay(stored, *relay)) {
      // The HUD learns the outcome from the secrets push that follows the trader's answer.
      AskForRelayChange(*relay);
      return;
    }
  }
  PushWorkspaceState(true);
}

void StoreSecrets(const std::string& body) {
  const SecretsUpdate update = ParseSecretsSet(body);
  if (!update.readable) {
    LogDebug("Dropped SECRETS_SET that is not one JSON object.");
    return;
  }
  LogRefused("key", update.refused);
  if (update.set.empty()) {
    ApplyRelayOfUpdate(update);
    return;
  }
  const auto stored = [update](bool ok) {
    if (ok) {
      LogDebug("Updated the provider keys via the HUD (" + std::to_string(update.set.size()) +
               ").");
    }
    ApplyRelayOfUpdate(update);
  };
  if (!RunOffWindowThread(
          [update] {
            return ChangeWorkspaceSecrets(
                [&](WorkspaceSecrets& s) { ApplySecretsUpdate(update, false, &s); });
          },
          stored)) {
    LogDebug("The provider keys were not stored: no file writer.");
    stored(false);
  }
}

void AnswerMigration(bool readable, bool ok) {
  LogDebug(ok ? "Took over the HUD's stored keys and settings."
              : "Could not take over the HUD's stored keys and settings; the HUD keeps them.");
  JsonValue push = JsonObject();
  push.Set("type", JsonString("migrated"));
  push.Set("ok", JsonBool(ok));
  push.Set("reason", JsonString(ok         ? ""
                                : readable ? "the workspace could not store them"
                                           : "not one JSON object"));
  // Lost with the page that sent it: that page's successor migrates again, and nothing is
  // taken twice (only what the workspace lacks is kept).
  (void)PushToHud(push);
  PushWorkspaceState(true);
}

// What the HUD moves out of the site's storage; it erases its copy only after a true answer.
void Migrate(const std::string& body) {
  const Migration m = ParseMigration(body);
  if (!m.readable) {
    AnswerMigration(false, false);
    return;
  }
  LogRefused("migrated value", m.keys.refused);
  LogRefused("migrated value", m.settings.refused);
  const auto answer = [](bool ok) { AnswerMigration(true, ok); };
  if (m.keys.set.empty() && m.settings.set.names.empty()) {
    answer(true);
    return;
  }
  if (!RunOffWindowThread(
          [m] {
            bool ok = true;
            if (!m.keys.set.empty()) {
              ok = ChangeWorkspaceSecrets([&](WorkspaceSecrets& s) {
                ApplySecretsUpdate(m.keys, /*onlyMissing=*/true, &s);
              });
            }
            if (ok && !m.settings.set.names.empty()) {
              ok = StoreWorkspaceSettings(m.settings.set, /*onlyMissing=*/true);
            }
            return ok;
          },
          answer)) {
    answer(false);
  }
}

}  // namespace

void HandleWebMessage(const std::wstring& message) {
  using Step = WebMessageAction::Step;
  const WebMessageAction action = DecideWebMessage(
      WideToUtf8(message), WideToUtf8(CurrentHostSymbol()), ::GetTickCount64(), ReadOrderLimits());
  switch (action.step) {
    case Step::kSyncSymbol:
      SyncSymbol(action);
      return;
    case Step::kDropSync:
      LogDebug("Dropped Symbol Sync with an unusable symbol: " + PrintableForLog(action.symbol));
      return;
    case Step::kQueueOrder:
      LogDebug("Queued Quorvale Trade Signal [" + action.symbol + "] from page order " +
               action.pageId);
      QueueOrder(action.pageId, action.order, action.keepPageId);
      return;
    case Step::kRefuseOrder:
      LogDebug("Quorvale Trade Signal NOT sent (" + action.reason +
               "): " + PrintableForLog(action.body));
      ReportOrderNotSent(action.pageId, action.reason);
      return;
    case Step::kHideWindow:
      LogDebug("Received CLOSE_STUDIO WebMessage. Hiding window...");
      if (g_windows.window) ::ShowWindow(g_windows.window, SW_HIDE);
      return;
    case Step::kClearEvalRequest:
      ::DeleteFileW(BridgeFile(kEvalRequestFileName).c_str());
      return;
    case Step::kWriteAiStatus:
      HandleAiStatus(action.body);
      return;
    case Step::kRefuseVaultConfig: {
      static bool told = false;
      if (!told) LogDebug("Dropped VAULT_CFG: keys and settings have messages of their own.");
      told = true;
      return;
    }
    case Step::kAskRelayChange:
      AskForRelayChange(action.relay);
      return;
    case Step::kRemoveRelay:
      RemoveRelay();
      return;
    case Step::kIgnore:
      LogDebug("Dropped a Telegram relay that names no usable bot, chat or user.");
      return;
    case Step::kStoreSettings:
      StoreSettings(action.body);
      return;
    case Step::kStoreSecrets:
      StoreSecrets(action.body);
      return;
    case Step::kMigrate:
      Migrate(action.body);
      return;
    case Step::kClaimBar:
      // The page learns the outcome from the claim file; a failure leaves none, which the
      // page reports in its chat.
      if (HandleBarClaim(action.body) == ClaimResult::kFailed) {
        LogDebug("AutoTrader claim failed; the asking page skips the bar.");
      }
      return;
    case Step::kLog:
      LogDebug("WebMessage: " + action.body);
      return;
  }
}
