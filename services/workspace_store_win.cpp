#include <windows.h>

#include <wincrypt.h>

#include <mutex>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/order_files.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/telegram_bot.h"
#include "services/workspace_store.h"

namespace {

constexpr wchar_t kSecretsFile[] = L"QV_Secrets.dat";
constexpr wchar_t kSettingsFile[] = L"workspace_settings.json";
// Window threads take these locks too: a holder only reads or replaces one small file, so a
// short wait is enough, and a wait that runs out fails the change instead of stalling.
constexpr DWORD kLockWaitMs = 200;
// Mixed into the protection: another program of the same user that calls DPAPI on the file
// without it does not get the secrets back.
const std::string& Entropy() {
  static const std::string kEntropy = "QuorvaleWorkspace.Secrets.v1";
  return kEntropy;
}

std::wstring DataFolder() {
  return g_folders.workspaceRoot;
}

std::wstring DataPath(const wchar_t* name) {
  return DataFolder() + L"\\" + name;
}

// A named mutex of the log-on, held for one read-modify-write.
class StoreLock {
 public:
  explicit StoreLock(const wchar_t* name) : mutex_(::CreateMutexW(nullptr, FALSE, name)) {
    if (!mutex_) return;
    const DWORD got = ::WaitForSingleObject(mutex_.get(), kLockWaitMs);
    held_ = got == WAIT_OBJECT_0 || got == WAIT_ABANDONED;
  }
  ~StoreLock() {
    if (held_) ::ReleaseMutex(mutex_.get());
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  [[nodiscard]] bool held() const { return held_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

class LocalMemory {
 public:
  explicit LocalMemory(BYTE* p) : p_(p) {}
  ~LocalMemory() {
    if (p_) ::LocalFree(p_);
  }
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;

 private:
  BYTE* p_;
};

// Points into bytes, which must outlive the blob.
DATA_BLOB Blob(const std::string& bytes) {
  DATA_BLOB blob{};
  blob.cbData = static_cast<DWORD>(bytes.size());
  blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
  return blob;
}

bool Protect(const std::string& plain, std::string* sealed) {
  DATA_BLOB in = Blob(plain);
  DATA_BLOB entropy = Blob(Entropy());
  DATA_BLOB out{};
  if (!::CryptProtectData(&in, L"Quorvale Workspace secrets", &entropy, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &out)) {
    LogDebug("Could not protect the workspace's secrets: Windows error " +
             std::to_string(::GetLastError()));
    return false;
  }
  const LocalMemory owner(out.pbData);
  sealed->assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
  return true;
}

bool Unprotect(const std::string& sealed, std::string* plain) {
  DATA_BLOB in = Blob(sealed);
  DATA_BLOB entropy = Blob(Entropy());
  DATA_BLOB out{};
  if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out)) {
    return false;
  }
  const LocalMemory owner(out.pbData);
  plain->assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
  return true;
}

// Said once per distinct problem, not on every Telegram pass.
void NoteOnce(const std::string& line) {
  static std::mutex m;
  static std::string last;
  std::lock_guard<std::mutex> hold(m);
  if (line == last) return;
  last = line;
  LogDebug(line);
}

bool ReadSecrets(WorkspaceSecrets* secrets) {
  *secrets = WorkspaceSecrets();
  const std::wstring path = DataPath(kSecretsFile);
  if (!FileExists(path)) return true;
  std::string sealed;
  std::string plain;
  if (!ReadFileBytes(path, 64 * 1024, &sealed)) {
    const DWORD error = ::GetLastError();
    NoteOnce("The workspace's secrets cannot be read (Windows error " + std::to_string(error) +
             "); no key or Telegram relay is used.");
    return false;
  }
  if (!Unprotect(sealed, &plain)) {
    const DWORD error = ::GetLastError();
    NoteOnce("The workspace's secrets cannot be unprotected for this Windows user (error " +
             std::to_string(error) + ", " + std::to_string(sealed.size()) +
             " bytes); no key or Telegram relay is used.");
    return false;
  }
  const std::optional<WorkspaceSecrets> parsed = ParseStoredSecrets(plain);
  if (!parsed) {
    NoteOnce("The workspace's secrets are damaged; no key or Telegram relay is used.");
    return false;
  }
  *secrets = *parsed;
  return true;
}

bool WriteSecrets(const WorkspaceSecrets& secrets) {
  std::string sealed;
  if (!Protect(StoredSecretsJson(secrets), &sealed)) return false;
  const WriteStatus status = ReplaceFileWhole(DataPath(kSecretsFile), sealed);
  if (!status.ok()) {
    LogDebug("Could not store the workspace's secrets: " + DescribeWriteError(status.error));
  }
  return status.ok();
}

// The provider keys of one configuration file into the store, and the file rewritten without
// them (or removed, when keys were all it held for us).
int MoveConfigKeys(WorkspaceSecrets* secrets, const std::wstring& path, bool removeFile) {
  if (!FileExists(path)) return 0;
  const std::string text = WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes));
  const std::optional<ConfigKeys> taken = TakeKeysFromConfig(text);
  if (!taken) return 0;
  const std::size_t before = secrets->keys.size();
  ApplySecretsUpdate(taken->keys, /*onlyMissing=*/true, secrets);
  if (!WriteSecrets(*secrets)) return -1;
  if (removeFile) {
    if (!::DeleteFileW(path.c_str())) {
      LogDebug("Could not remove the provider keys of " + WideToUtf8(path) + ": Windows error " +
               std::to_string(::GetLastError()));
    }
  } else {
    const WriteStatus status = ReplaceFileWhole(path, taken->rewritten);
    if (!status.ok()) {
      LogDebug("Could not rewrite " + WideToUtf8(path) +
               " without its keys: " + DescribeWriteError(status.error));
    }
  }
  return static_cast<int>(secrets->keys.size() - before);
}

bool MoveTelegramConfig(WorkspaceSecrets* secrets, const std::wstring& path) {
  if (!FileExists(path)) return false;
  const std::string text = WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes));
  // An empty read may be a file being written: it is left for the next look.
  if (text.empty()) return false;
  // Only the trader (or a program of the trader's) writes these files, never a page: the relay
  // in one replaces the stored relay, as a hand-written file did before. It is read as the
  // earlier versions read it, so a file they accepted moves as they understood it.
  const TelegramConfig old = ParseTelegramConfig(text);
  const std::optional<TelegramRelay> relay = ParseTelegramRelay(old.token + "," + old.chatId);
  if (relay && !relay->removes()) {
    secrets->telegramToken = relay->token;
    secrets->telegramChatId = relay->chatId;
    secrets->telegramUserId = relay->userId;
    secrets->telegramBotName.clear();
    if (!WriteSecrets(*secrets)) return false;
  }
  if (!::DeleteFileW(path.c_str())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) {
      LogDebug("Could not remove the old Telegram configuration " + WideToUtf8(path) +
               ": Windows error " + std::to_string(error));
      return false;
    }
  }
  LogDebug("Moved the Telegram configuration into the workspace's protected store.");
  return true;
}

std::string ReadWholeText(const std::wstring& path) {
  return FileExists(path) ? WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes))
                          : std::string();
}

}  // namespace

bool LoadWorkspaceSecrets(WorkspaceSecrets* secrets) {
  if (g_folders.workspaceData.empty()) return false;
  return ReadSecrets(secrets);
}

bool ChangeWorkspaceSecrets(const std::function<void(WorkspaceSecrets&)>& change) {
  if (g_folders.workspaceData.empty()) return false;
  const StoreLock lock(L"Local\\QuorvaleWorkspace_Secrets");
  if (!lock.held()) {
    LogDebug("The workspace's secrets are busy; the change was not stored.");
    return false;
  }
  WorkspaceSecrets secrets;
  if (!ReadSecrets(&secrets)) return false;
  change(secrets);
  return WriteSecrets(secrets);
}

void MigrateLegacySecrets() {
  if (g_folders.workspaceData.empty() || g_folders.bridge.empty()) return;
  const std::wstring config = BridgePath(g_folders.bridge, WideName(kAiConfigName));
  const std::wstring vault = DataFolder() + L"\\Profile\\vault.json";
  const std::wstring plainTelegram = DataFolder() + L"\\" + WideName(kTelegramConfigName);
  const std::wstring bridgeTelegram = BridgePath(g_folders.bridge, WideName(kTelegramConfigName));
  // The common case (nothing left to move) takes no lock.
  if (!FileExists(vault) && !FileExists(plainTelegram) && !FileExists(bridgeTelegram) &&
      !TakeKeysFromConfig(ReadWholeText(config))) {
    return;
  }
  const StoreLock lock(L"Local\\QuorvaleWorkspace_Secrets");
  WorkspaceSecrets secrets;
  if (!lock.held() || !ReadSecrets(&secrets)) return;
  int moved = 0;
  for (const auto& [path, remove] : {std::pair<std::wstring, bool>{config, false}, {vault, true}}) {
    const int n = MoveConfigKeys(&secrets, path, remove);
    if (n < 0) return;
    moved += n;
  }
  if (moved > 0) {
    LogDebug("Moved " + std::to_string(moved) +
             " provider keys into the workspace's protected store.");
  }
  // Each move logs its own failure and leaves the file for the next look, so a file that
  // could not move is kept, never lost. The bridge folder's copy is only the older place: once
  // the data folder's copy has moved, one left in the bridge folder is stale, and moving it at
  // the next look would put its older bot and chat over the relay just stored.
  if (MoveTelegramConfig(&secrets, plainTelegram)) {
    const DWORD error = ::DeleteFileW(bridgeTelegram.c_str()) ? ERROR_SUCCESS : ::GetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) {
      LogDebug("Could not remove the older Telegram configuration " + WideToUtf8(bridgeTelegram) +
               ": Windows error " + std::to_string(error));
    }
    return;
  }
  if (!MoveTelegramConfig(&secrets, bridgeTelegram) && FileExists(bridgeTelegram)) {
    LogDebug("The Telegram configuration in the bridge folder stays there for the next look.");
  }
}

WorkspaceSettings LoadWorkspaceSettings() {
  if (g_folders.workspaceData.empty()) return {};
  return ParseStoredSettings(ReadWholeText(DataPath(kSettingsFile)));
}

bool StoreWorkspaceSettings(const WorkspaceSettings& changes, bool onlyMissing) {
  if (g_folders.workspaceData.empty()) return false;
  const StoreLock lock(L"Local\\QuorvaleWorkspace_Settings");
  if (!lock.held()) {
    LogDebug("The workspace's settings are busy; the change was not stored.");
    return false;
  }
  WorkspaceSettings settings = ParseStoredSettings(ReadWholeText(DataPath(kSettingsFile)));
  for (std::size_t i = 0; i < changes.names.size(); ++i) {
    if (!onlyMissing || !settings.Find(changes.names[i])) {
      settings.Set(changes.names[i], changes.items[i]);
    }
  }
  const WriteStatus stored = ReplaceFileWhole(DataPath(kSettingsFile), WriteJson(settings));
  if (!stored.ok()) {
    LogDebug("Could not store the workspace's settings: " + DescribeWriteError(stored.error));
    return false;
  }
  const std::wstring config = BridgePath(g_folders.bridge, WideName(kAiConfigName));
  const WriteStatus written =
      ReplaceFileWhole(config, CompanionConfigText(ReadWholeText(config), settings));
  if (!written.ok()) {
    LogDebug("Could not write QV_AIConfig.json: " + DescribeWriteError(written.error));
    return false;
  }
  return true;
}

std::uint64_t WorkspaceStateStamp() {
  if (g_folders.workspaceData.empty()) return 0;
  std::uint64_t stamp = 1469598103934665603ull;  // FNV-1a over the files' times and sizes
  for (const wchar_t* name :
       {kSecretsFile, kSettingsFile, L"order_limits.txt", L"telegram_status.json"}) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::uint64_t parts[] = {
        ::GetFileAttributesExW(DataPath(name).c_str(), GetFileExInfoStandard, &data) ? 1u : 0u,
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime,
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
    for (const std::uint64_t part : parts) {
      stamp ^= part;
      stamp *= 1099511628211ull;
    }
  }
  return stamp;
}

namespace {

std::wstring OrderLimitsPath() {
  return DataPath(L"order_limits.txt");
}

OrderLimits ReadOrderLimitsFile(const std::wstring& path) {
  std::string problems;
  const OrderLimits limits = ParseOrderLimits(ReadWholeText(path), &problems);
  if (!problems.empty()) {
    NoteOnce("order_limits.txt: no usable " + problems + "; the default holds for it.");
  }
  return limits;
}

void WriteDefaultOrderLimits(const std::wstring& path) {
  // Written for the trader to find and edit; the defaults hold whether or not it worked.
  if (!WriteTextFile(path, DefaultOrderLimitsText())) {
    NoteOnce("Could not write order_limits.txt; the default limits hold.");
  }
}

}  // namespace

OrderLimits CurrentOrderLimits() {
  if (g_folders.workspaceData.empty()) return OrderLimits();
  const std::wstring path = OrderLimitsPath();
  if (!FileExists(path)) {
    WriteDefaultOrderLimits(path);
    return OrderLimits();
  }
  return ReadOrderLimitsFile(path);
}

OrderLimits ReadOrderLimits() {
  if (g_folders.workspaceData.empty()) return OrderLimits();
  const std::wstring path = OrderLimitsPath();
  if (!FileExists(path)) return OrderLimits();
  return ReadOrderLimitsFile(path);
}

void WriteMissingOrderLimits() {
  if (g_folders.workspaceData.empty()) return;
  const std::wstring path = OrderLimitsPath();
  if (!FileExists(path)) WriteDefaultOrderLimits(path);
}
