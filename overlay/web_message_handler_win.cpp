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
#include "overlay/web_message_handler.h"
#include "overlay/webview_host.h"
#include "services/host_symbol.h"
#include "services/telegram.h"

namespace {

std::wstring BridgeFile(const wchar_t* name) {
  return BridgePath(g_folders.bridge, name);
}

void HandleSync(const std::string& rest) {
  const std::string symbol = StripExchangePrefix(rest);
  // The symbol becomes a field of a comma-separated record the terminal reads; a page
  // that sends a comma or a line break in it must not split that record.
  if (!IsSafeRecordField(symbol)) {
    LogDebug("Dropped Symbol Sync with an unusable symbol: " + PrintableForLog(symbol));
    return;
  }
  SetHostSymbol(Utf8ToWide(symbol));
  const WriteStatus status = ReplaceFileWhole(BridgeFile(L"QV_TVSync.csv"),
                                              symbol + "," + std::to_string(::GetTickCount64()));
  if (!status.ok()) {
    LogDebug("Could not write Symbol Sync " + symbol + ": " + DescribeWriteError(status.error));
    return;
  }
  LogDebug("Emitted Symbol Sync to MT5: " + symbol);
}

void HandleTrade(const std::string& rest) {
  const TradeRecord record =
      BuildTradeRecord(rest, WideToUtf8(CurrentHostSymbol()), ::GetTickCount64());
  // The page's id routes the fate back to the button or card that sent the order; the
  // outbox gives the order its own id (AutoTrader ids excepted).
  const std::string pageId = RecordId(record.line);
  if (!IsSafeTradeRecord(record)) {
    LogDebug("Dropped Quorvale Trade Signal with a line break or control character: " +
             PrintableForLog(record.line));
    ReportOrderNotSent(IsValidOrderId(pageId) ? pageId : "", "unusable order record");
    return;
  }
  LogDebug("Queued Quorvale Trade Signal [" + record.symbol + "] from page order " + pageId);
  QueueOrder(pageId, record.line, IsKeptPageOrderId(pageId));
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

void HandleTelegramConfig(const std::string& rest) {
  std::string json;
  if (!BuildTelegramConfigJson(rest, &json)) return;
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
  const WebMessage parsed = ClassifyWebMessage(WideToUtf8(message));
  switch (parsed.kind) {
    case WebMessageKind::kSync:
      HandleSync(parsed.rest);
      return;
    case WebMessageKind::kTrade:
      HandleTrade(parsed.rest);
      return;
    case WebMessageKind::kHideWindow:
      LogDebug("Received CLOSE_STUDIO WebMessage. Hiding window...");
      if (g_windows.window) ::ShowWindow(g_windows.window, SW_HIDE);
      return;
    case WebMessageKind::kClearEvalRequest:
      ::DeleteFileW(BridgeFile(kEvalRequestFileName).c_str());
      return;
    case WebMessageKind::kAiStatus:
      HandleAiStatus(parsed.rest);
      return;
    case WebMessageKind::kVaultConfig:
      HandleVaultConfig(parsed.rest);
      return;
    case WebMessageKind::kTelegramConfig:
      HandleTelegramConfig(parsed.rest);
      return;
    case WebMessageKind::kBarClaim:
      // The page learns the outcome from the claim file; a failure leaves none, which the
      // page reports in its chat.
      if (HandleBarClaim(parsed.rest) == ClaimResult::kFailed) {
        LogDebug("AutoTrader claim failed; the asking page skips the bar.");
      }
      return;
    case WebMessageKind::kOther:
      LogDebug("WebMessage: " + parsed.rest);
      return;
  }
}
