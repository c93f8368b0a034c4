#include <windows.h>

#include <algorithm>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/chart_accounts.h"
#include "bridge/file_replace.h"
#include "bridge/order_outbox.h"
#include "bridge/text_file.h"
#include "daemon/child_table.h"
#include "daemon/child_table_win.h"
#include "daemon/launch_request.h"
#include "daemon/watch_loop.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/web_message.h"

namespace {

bool g_missingLogged = false;

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

bool EnsureBridgeFolder() {
  const std::wstring& bridge = g_folders.bridge;
  if (bridge.empty()) return false;
  if (FolderExists(bridge)) return true;
  const std::wstring common = ParentOf(bridge);
  // Only the terminal creates its common folder: making it ourselves would hide a wrong
  // path behind a folder the terminal never reads.
  if (!common.empty() && FolderExists(common)) {
    if (::CreateDirectoryW(bridge.c_str(), nullptr) || FolderExists(bridge)) {
      LogDebug("Terminal common folder found; bridge folder created: " + WideToUtf8(bridge));
      g_missingLogged = false;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (!g_missingLogged) {
      g_missingLogged = true;
      LogDebug("Bridge folder could not be created (error " + std::to_string(error) +
               "): " + WideToUtf8(bridge));
    }
    return false;
  }
  if (!g_missingLogged) {
    g_missingLogged = true;
    LogDebug("Terminal common folder not found: " + WideToUtf8(common) +
             ". Waiting for MetaTrader 5 to create it; nothing is watched until then.");
  }
  return false;
}

namespace {

constexpr ULONGLONG kHeartbeatPeriodMs = 15000;
// Without a folder watch the pass polls at this period.
constexpr DWORD kPassPeriodMs = 100;
// With the watch, a request ends the wait at once, so the timed pass is only the safety net
// for a change the watch misses and for reaping and heartbeats; it can be rare, and the
// idle daemon wakes once a second instead of ten times.
constexpr DWORD kWatchedPassPeriodMs = 1000;
// A folder written without pause (prices, positions, heartbeats of many charts) signals the
// watch again before the pass ends; passes that close together would keep a core busy, so
// the next one waits out the rest of this gap. A change after a quiet spell is not delayed.
constexpr DWORD kMinPassGapMs = 25;
constexpr DWORD kBridgeChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;

UniqueChangeNotification g_bridgeChanges;
// One line says the watch does not work; a watch that keeps failing must not fill the log.
bool g_bridgeChangesFailureLogged = false;

ChildTable<UniqueHandle> g_children;
Win32ChildOps g_ops;
RestartRound g_restartRound;
// Requests that could not be deleted, so their line is written once and not every pass.
std::set<std::wstring> g_undeletableReported;

std::wstring FetchProgramPath() {
  // Usually under MAX_PATH, but a longer install path must not be cut into another path.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

void WriteDaemonHeartbeat(ULONGLONG now) {
  const WriteStatus beat =
      ReplaceFileWhole(BridgePath(g_folders.bridge, DaemonHeartbeatFileName()), HeartbeatBody(now),
                       WriteRetry::kBrief, WriteDurability::kProcessKill);
  if (!beat.ok())
    LogDebug("Could not write the daemon heartbeat: " + DescribeWriteError(beat.error));
  LogDebug("Quorvale Daemon watcher heartbeat alive (active children: " +
           std::to_string(g_children.size()) + ")");
}

// A child announced a new WebView2 runtime: the request is taken once, by a rename as
// launch requests are, however many children wrote it.
void TakeRuntimeUpdateRequest() {
  const std::wstring path = BridgePath(g_folders.bridge, kRuntimeUpdateFileName);
  if (!FileExists(path)) return;
  const std::wstring claim =
      BridgePath(g_folders.bridge, std::wstring(L"~") + kRuntimeUpdateFileName);
  if (!::MoveFileExW(path.c_str(), claim.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  const std::string version = WideToUtf8(ReadTextFile(claim, nullptr, 256));
  ::DeleteFileW(claim.c_str());
  BeginRestartRound(g_children, g_restartRound, PrintableForLog(version), g_ops);
}

void PumpMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void LogWatchFailureOnce(const char* what, DWORD error) {
  if (g_bridgeChangesFailureLogged) return;
  g_bridgeChangesFailureLogged = true;
  LogDebug(std::string(what) + " (error " + std::to_string(error) +
           "); the loop falls back to its 100 ms pass.");
}

// Created once the bridge folder exists (it may appear only after the daemon starts) and
// again after a failure, so the loop never keeps waiting on a dead handle.
void ArmBridgeChanges() {
  if (g_bridgeChanges) return;
  g_bridgeChanges.reset(
      ::FindFirstChangeNotificationW(g_folders.bridge.c_str(), FALSE, kBridgeChanges));
  if (!g_bridgeChanges) {
    LogWatchFailureOnce("Could not watch the bridge folder for changes", ::GetLastError());
  }
}

// Ends at the first of: a change in the bridge folder, a message for the loop to pump, the
// timed pass. Every wake is answered by exactly one pass.
void WaitForNextPass() {
  const HANDLE handle = g_bridgeChanges ? g_bridgeChanges.get() : nullptr;
  const DWORD count = handle ? 1 : 0;
  const ULONGLONG waitStarted = ::GetTickCount64();
  const DWORD woke =
      ::MsgWaitForMultipleObjects(count, handle ? &handle : nullptr, FALSE,
                                  handle ? kWatchedPassPeriodMs : kPassPeriodMs, QS_ALLINPUT);
  if (handle && woke == WAIT_OBJECT_0) {
    // Re-armed before the pass, so a change made while the pass runs wakes the next wait.
    if (!::FindNextChangeNotification(handle)) {
      LogWatchFailureOnce("Could not re-arm the bridge folder watch", ::GetLastError());
      g_bridgeChanges.reset();
    }
    const ULONGLONG since = ::GetTickCount64() - waitStarted;
    if (since < kMinPassGapMs) ::Sleep(static_cast<DWORD>(kMinPassGapMs - since));
    return;
  }
  if (woke == WAIT_FAILED) {
    LogWatchFailureOnce("Waiting on the bridge folder watch failed", ::GetLastError());
    g_bridgeChanges.reset();
    // A wait that fails at once must not turn the loop into a busy one.
    ::Sleep(kPassPeriodMs);
  }
}

}  // namespace

void ProcessLaunchRequests() {
  struct Waiting {
    std::wstring name;
    ULONGLONG written;
    bool readOnly;
  };
  std::vector<Waiting> waiting;
  {
    WIN32_FIND_DATAW found{};
    UniqueFind listing(
        ::FindFirstFileW(BridgePath(g_folders.bridge, kLaunchRequestPattern).c_str(), &found));
    if (!listing) return;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
          !IsLaunchRequestFileName(found.cFileName)) {
        continue;
      }
      const ULONGLONG written =
          (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
          found.ftLastWriteTime.dwLowDateTime;
      waiting.push_back(
          {found.cFileName, written, (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0});
    } while (::FindNextFileW(listing.get(), &found));
  }
  // Requests waiting together are obeyed in the order they were written, not in the
  // listing's order: a chart's later change of mode must not be undone by its earlier one.
  std::stable_sort(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) {
    return a.written != b.written ? a.written < b.written : a.name < b.name;
  });
  g_ops.programPath = FetchProgramPath();
  for (const Waiting& request : waiting) {
    const std::wstring& name = request.name;
    const std::wstring path = BridgePath(g_folders.bridge, name);
    // Still being created, or not readable yet: the next pass reads it again.
    if (ReadTextFile(path).empty()) continue;
    // The request is taken by a rename before it is read for good: the companion rewrites
    // the same name for the next change of its chart, and a delete after the read could
    // remove that newer request unread. A request that cannot be taken (read-only, or held
    // open by its writer without delete sharing) is not obeyed either: it would otherwise be
    // obeyed again on every pass, ten studio raises and evaluation requests a second.
    // (A read-only file could be renamed but never removed, so it counts as held.)
    const std::wstring claim = BridgePath(g_folders.bridge, L"~" + name + L".claimed");
    if (request.readOnly ||
        !::MoveFileExW(path.c_str(), claim.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      const DWORD error = request.readOnly ? ERROR_ACCESS_DENIED : ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) continue;
      if (g_undeletableReported.insert(name).second) {
        LogDebug("Launch request " + WideToUtf8(name) + " could not be deleted (error " +
                 std::to_string(error) + "); it is left for a later pass.");
      }
      continue;
    }
    g_undeletableReported.erase(name);
    const std::wstring text = ReadTextFile(claim);
    if (!::DeleteFileW(claim.c_str())) {
      LogDebug("Taken launch request " + WideToUtf8(name) + " could not be removed (error " +
               std::to_string(::GetLastError()) + ").");
    }
    if (text.empty()) continue;
    const std::string body = WideToUtf8(text);
    // The first account a companion announces receives the orders that name no chart
    // (Telegram) until the trader chooses another.
    NoteRegisteredAccount(LaunchRequestAccount(body));
    HandleLaunchRequest(g_children, body, g_ops);
  }
}

void DaemonWatchLoop() {
  ULONGLONG lastHeartbeat = 0;
  bool firstPass = true;
  bool watching = EnsureBridgeFolder();
  for (;;) {
    // Without the bridge folder every write would fail silently; wait for the terminal.
    if (!watching) {
      watching = EnsureBridgeFolder();
      if (watching) {
        LogDebug("Quorvale Daemon loop active and watching: " + WideToUtf8(g_folders.bridge));
      } else {
        PumpMessages();
        WaitForNextPass();
        continue;
      }
    }
    ArmBridgeChanges();
    const ULONGLONG now = ::GetTickCount64();
    // The first pass always writes, even on a machine up for less than 15 s, so the terminal
    // companion sees the daemon at once.
    if (firstPass || now - lastHeartbeat >= kHeartbeatPeriodMs) {
      if (firstPass) {
        const WriteStatus protocol = WriteProtocolFile();
        if (!protocol.ok()) {
          LogDebug("Could not write QV_Protocol.txt: " + DescribeWriteError(protocol.error));
        }
      }
      firstPass = false;
      lastHeartbeat = now;
      WriteDaemonHeartbeat(now);
      SweepStaleOrderFiles();
    }
    try {
      ProcessLaunchRequests();
      TakeRuntimeUpdateRequest();
      ReapEndedChildren(g_children, g_ops);
      AdvanceRestartRound(g_children, g_restartRound, g_ops);
    } catch (const std::exception& error) {
      LogDebug(std::string("Daemon loop exception: ") + error.what());
    } catch (...) {
      LogDebug("Daemon loop unknown exception handled.");
    }
    try {
      PumpMessages();
    } catch (const std::exception& error) {
      LogDebug(std::string("Daemon loop exception: ") + error.what());
    } catch (...) {
      LogDebug("Daemon loop unknown exception handled.");
    }
    WaitForNextPass();
  }
}
