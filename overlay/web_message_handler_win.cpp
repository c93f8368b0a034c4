#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/order_files.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/bar_claim_handler.h"
#include "overlay/child_lifecycle.h"
#include "overlay/order_fate.h"
#include "overlay/order_queue.h"
#include "overlay/page_scripts.h"
#include "overlay/web_message.h"
#include "overlay/web_message_action.h"
#include "overlay/web_message_handler.h"
#include "overlay/webview_host.h"
#include "services/host_symbol.h"
#include "services/telegram.h"

namespace {

std::wstring BridgeFile(const wchar_t* name) {
  return BridgePath(g_folders.bridge, name);
}

void SyncSymbol(const WebMessageAction& action) {
  SetHostSymbol(Utf8ToWide(action.symbol));
  const WriteStatus status = ReplaceFileWhole(BridgeFile(L"QV_TVSync.csv"), action.body);
  if (!status.ok()) {
    LogDebug("Could not write Symbol Sync " + action.symbol + ": " +
             DescribeWriteError(status.error));
    return;
  }
  LogDebug("Emitted Symbol Sync to MT5: " + action.symbol);
}

void HandleAiStatus(const std::string& rest) {
  // Rewritten often; one line per failure would flood the log, so only the change is told.
  static bool failing = false;
  const WriteStatus status = ReplaceFileWhole(BridgeFile(L"QV_AIStatus.json"), rest);
  if (!status.ok() && !failing) {
    LogDebug("Could not write QV_AIStatus.json: " + DescribeWriteError(status.error));
  }
  failing = !status.ok();
}

void HandleVaultConfig(const std::string& rest) {
  const WriteStatus bridge = ReplaceFileWhole(BridgeFile(L"QV_AIConfig.json"), rest);
  // In a child the workspace data folder is its profile folder.
  const WriteStatus vault = ReplaceFileWhole(g_folders.workspaceData + L"\\vault.json", rest);
  if (!bridge.ok())
    LogDebug("Could not write QV_AIConfig.json: " + DescribeWriteError(bridge.error));
  if (!vault.ok()) LogDebug("Could not write vault.json: " + DescribeWriteError(vault.error));
  if (bridge.ok() && vault.ok()) LogDebug("Updated AI Configuration via WebMessage.");
}

void StoreTelegramConfig(const std::string& json) {
  // The token never goes into the bridge folder, which every page and program can read. An
  // empty token is stored too: the bot stops polling at its next pass.
  if (!WriteTextFile(TelegramConfigPath(), json)) {
    LogDebug("Could not store the Telegram Configuration from WebMessage.");
    return;
  }
  LogDebug("Updated Telegram Configuration via WebMessage.");
}

}  // namespace

void HandleWebMessage(const std::wstring& message) {
  using Step = WebMessageAction::Step;
  const WebMessageAction action =
      DecideWebMessage(WideToUtf8(message), WideToUtf8(CurrentHostSymbol()), ::GetTickCount64());
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
      QueueOrder(action.pageId, action.body, action.keepPageId, action.slKind, action.tpKind);
      return;
    case Step::kRefuseOrder:
      LogDebug("Dropped Quorvale Trade Signal with a line break or control character: " +
               PrintableForLog(action.body));
      ReportOrderNotSent(action.pageId, "unusable order record");
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
    case Step::kWriteVaultConfig:
      HandleVaultConfig(action.body);
      return;
    case Step::kStoreTelegramConfig:
      StoreTelegramConfig(action.body);
      return;
    case Step::kIgnore:
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
