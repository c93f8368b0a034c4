#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/endpoints.h"
#include "services/host_symbol.h"
#include "services/http_client.h"
#include "services/shutdown_flag.h"
#include "services/telegram.h"

namespace {

constexpr DWORD kPassSleepMs = 2500;
constexpr wchar_t kPollerMutexName[] = L"QuorvaleWorkspace_Telegram_Mutex";
constexpr wchar_t kOffsetMappingName[] = L"QuorvaleWorkspace_Telegram_Offset";

// The daemon and every child run a worker against the same bot. Telegram hands an update
// to every poller until some poll confirms it, so concurrent pollers would execute one
// command several times. The worker that holds this mutex is the only one that polls;
// a waiting worker becomes the poller when the holder's thread or process ends (normal
// release or abandonment). The last update id handled is kept in a shared section so the
// next poller continues where the previous one stopped instead of at offset 1.
class PollerLease {
 public:
  PollerLease()
      : mutex_(::CreateMutexW(nullptr, FALSE, kPollerMutexName)),
        mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(std::int64_t), kOffsetMappingName)) {
    if (mapping_) {
      shared_ = static_cast<volatile LONG64*>(
          ::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(std::int64_t)));
    }
  }
  ~PollerLease() {
    if (shared_) ::UnmapViewOfFile(const_cast<LONG64*>(shared_));
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

  [[nodiscard]] std::int64_t SharedLastUpdateId() const {
    return shared_ ? static_cast<std::int64_t>(*shared_) : 0;
  }
  void PublishLastUpdateId(std::int64_t id) {
    if (shared_) ::InterlockedExchange64(shared_, id);
  }

 private:
  UniqueHandle mutex_;
  UniqueHandle mapping_;
  volatile LONG64* shared_ = nullptr;
  bool owned_ = false;
};

std::string TickId() {
  return std::to_string(::GetTickCount64());
}

void HandleUpdates(const std::string& body, const TelegramConfig& config,
                   std::int64_t& lastUpdateId, PollerLease& lease) {
  for (const TelegramUpdate& update : ScanTelegramUpdates(body, config.chatId)) {
    // Counted before the command runs: a worker ended in the middle of a command loses
    // that one command rather than letting its successor place the trade a second time.
    lastUpdateId = std::max(lastUpdateId, update.updateId);
    lease.PublishLastUpdateId(lastUpdateId);
    if (update.kind == TelegramUpdate::Kind::kForeignChat) {
      LogDebug("Rejected unauthorized Telegram message from chat ID: " + update.chatId);
      continue;
    }
    if (update.kind != TelegramUpdate::Kind::kText) continue;
    const CommandOutcome outcome =
        HandleTelegramCommand(update.text, TickId(), WideToUtf8(CurrentHostSymbol()));
    if (outcome.record) {
      // A failed write goes unnoticed, and the confirmation is sent anyway.
      (void)WriteTextFile(BridgePath(g_folders.bridge, L"QV_TradeSignal.csv"), *outcome.record);
    }
    if (outcome.reply) SendTelegramMessage(config.token, config.chatId, *outcome.reply);
  }
}

}  // namespace

std::wstring TelegramConfigPath() {
  return g_folders.workspaceRoot + L"\\QV_TelegramConfig.json";
}

TelegramConfig ReadTelegramConfig() {
  // A configuration an earlier version (or the trader) left in the bridge folder moves to
  // the workspace folder once; the bridge copy goes only when the move is stored.
  const std::wstring legacy = BridgePath(g_folders.bridge, L"QV_TelegramConfig.json");
  if (!g_folders.workspaceRoot.empty() && FileExists(legacy)) {
    const std::string text = WideToUtf8(ReadTextFile(legacy, nullptr, kConfigFileCapBytes));
    // An empty read may be a file being written: it is left for the next pass.
    if (text.empty()) {
    } else if (!WriteTextFile(TelegramConfigPath(), text)) {
      LogDebug("Could not move the Telegram configuration out of the bridge folder.");
    } else if (!::DeleteFileW(legacy.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      LogDebug("Could not remove the Telegram configuration from the bridge folder: " +
               std::to_string(::GetLastError()));
    } else {
      LogDebug("Moved the Telegram configuration out of the bridge folder.");
    }
  }
  if (g_folders.workspaceRoot.empty()) return {};
  const std::wstring path = TelegramConfigPath();
  if (!FileExists(path)) return {};
  return ParseTelegramConfig(WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes)));
}

void SendTelegramMessage(const std::string& token, const std::string& chatId,
                         const std::string& text) {
  if (token.empty() || chatId.empty() || text.empty()) return;
  const std::wstring url =
      Utf8ToWide(TelegramSendMessageUrl(WideToUtf8(TelegramApiBaseUrl()), token));
  // A reply that cannot get a thread is lost, like one Telegram refuses.
  (void)PostJsonAsync(url, TelegramSendMessageBody(chatId, text));
}

void TelegramWorker() noexcept {
  LogDebug("Starting Quorvale Telegram Bot Worker...");
  PollerLease lease;
  std::int64_t lastUpdateId = 0;
  for (;;) {
    if (ShuttingDownFlag().load()) return;
    try {
      // A waiting worker spends its pass waiting for the lease instead of sleeping.
      if (!lease.Acquire(kPassSleepMs)) continue;
      lastUpdateId = std::max(lastUpdateId, lease.SharedLastUpdateId());
      const TelegramConfig config = ReadTelegramConfig();
      if (config.usable()) {
        const std::string apiBase = WideToUtf8(TelegramApiBaseUrl());
        const std::string body =
            HttpGet(Utf8ToWide(TelegramPollUrl(apiBase, config.token, NextOffset(lastUpdateId))));
        if (!body.empty() && body.find("\"ok\":true") != std::string::npos) {
          HandleUpdates(body, config, lastUpdateId, lease);
        }
      }
    } catch (...) {
      LogDebug("Telegram worker exception handled.");
    }
    ::Sleep(kPassSleepMs);
  }
}
