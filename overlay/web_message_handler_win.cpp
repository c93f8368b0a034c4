#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "bridge/text_file.h"
#include "overlay/child_lifecycle.h"
#include "overlay/web_message.h"
#include "overlay/web_message_handler.h"
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
  (void)WriteTextFile(BridgeFile(L"QV_TVSync.csv"),
                      symbol + "," + std::to_string(::GetTickCount64()));
  LogDebug("Emitted Symbol Sync to MT5: " + symbol);
}

void HandleTrade(const std::string& rest) {
  const TradeRecord record =
      BuildTradeRecord(rest, WideToUtf8(CurrentHostSymbol()), ::GetTickCount64());
  if (!IsSafeTradeRecord(record)) {
    LogDebug("Dropped Quorvale Trade Signal with a line break or control character: " +
             PrintableForLog(record.line));
    return;
  }
  (void)WriteTextFile(BridgeFile(L"QV_TradeSignal.csv"), record.line);
  LogDebug("Emitted Quorvale Trade Signal to MT5 [" + record.symbol + "]: " + record.line);
}

void HandleVaultConfig(const std::string& rest) {
  (void)WriteTextFile(BridgeFile(L"QV_AIConfig.json"), rest);
  // In a child the workspace data folder is its profile folder.
  (void)WriteTextFile(g_folders.workspaceData + L"\\vault.json", rest);
  LogDebug("Updated AI Configuration via WebMessage.");
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
      (void)WriteTextFile(BridgeFile(L"QV_AIStatus.json"), parsed.rest);
      return;
    case WebMessageKind::kVaultConfig:
      HandleVaultConfig(parsed.rest);
      return;
    case WebMessageKind::kTelegramConfig:
      HandleTelegramConfig(parsed.rest);
      return;
    case WebMessageKind::kOther:
      LogDebug("WebMessage: " + parsed.rest);
      return;
  }
}
