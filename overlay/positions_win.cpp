#include <windows.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "bridge/bridge_names.h"
#include "bridge/chart_accounts.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/child_lifecycle.h"
#include "overlay/hud_channel_win.h"
#include "overlay/order_queue.h"
#include "overlay/positions.h"
#include "overlay/ui_queue.h"
#include "overlay/webview_host.h"

// How a change reaches the page without the window thread ever waiting: the WebView2 calls
// must be made on the window thread, which also runs the HUD's messages, so it cannot sit
// in a wait on the folder, and polling the handle from its 50 ms timer would tie the badge
// to that timer and cost a server call twenty times a second. A worker thread waits on the
// bridge folder's change notification instead, looks at the positions file's stamp (no
// read), and only when it moved hands one task to the window thread, which then reads and
// pushes exactly as on the tick. The companion's order results (QV_TradeResult_<id>.txt) are
// watched the same way, so a fate reaches the ticket as soon as its result lands. One task
// of each kind is in flight at a time, so a folder written without pause cannot flood the
// window's queue.

namespace {

constexpr DWORD kWatchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;
// Wakes closer together than this are a storm (prices, heartbeats, the positions file
// rewritten in pieces); the watch rests out the gap, and the message then carries them all.
constexpr ULONGLONG kMinWakeGapMs = 25;
// Only for noticing the shutting-down flag; the changes themselves end the wait.
constexpr DWORD kShutdownCheckMs = 1000;

std::uint64_t TimeOf(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

PositionsPushGate g_gate;
std::atomic<bool> g_messagePending{false};
std::atomic<bool> g_resultsPending{false};

// Names and write times of the result files there now; empty when there are none.
std::wstring ResultFilesSignature() {
  std::wstring signature;
  WIN32_FIND_DATAW found{};
  UniqueFind listing(
      ::FindFirstFileW(BridgePath(g_folders.bridge, TradeResultFileName("*")).c_str(), &found));
  if (!listing) return signature;
  do {
    signature += found.cFileName;
    signature += L'|' + std::to_wstring(TimeOf(found.ftLastWriteTime)) + L'\n';
  } while (::FindNextFileW(listing.get(), &found));
  return signature;
}

void HandOverResults() {
  if (g_resultsPending.exchange(true)) return;
  const bool posted = PostToWindowThread([] {
    g_resultsPending = false;
    PushOrderResults();
  });
  // The 500 ms tick reads them then.
  if (!posted) g_resultsPending = false;
}

// The file the badge shows: the chart's own account's positions once its companion says
// which account that is (QV_Chart_<hwnd>.txt), the shared file of earlier companions until
// then. Looked up again every few seconds on the window thread; the watch thread reads it.
constexpr ULONGLONG kSourceCheckMs = 3000;
std::mutex g_sourceLock;
std::wstring g_source = WideName(kOpenPositionsName);
ULONGLONG g_sourceCheckedAt = 0;

std::wstring PositionsPath() {
  std::lock_guard<std::mutex> hold(g_sourceLock);
  return BridgePath(g_folders.bridge, g_source);
}

// Window thread. True when the file changed, so the next read is pushed whatever it holds.
bool RefreshPositionsSource() {
  const ULONGLONG now = ::GetTickCount64();
  if (g_sourceCheckedAt != 0 && now - g_sourceCheckedAt < kSourceCheckMs) return false;
  g_sourceCheckedAt = now;
  const std::string account = LiveChartAccount(g_launch.chartWindow);
  const std::wstring name =
      account.empty() ? WideName(kOpenPositionsName) : PositionsFileName(account);
  {
    std::lock_guard<std::mutex> hold(g_sourceLock);
    if (name == g_source) return false;
    g_source = name;
  }
  LogDebug("Positions of chart " + std::to_string(g_launch.chartWindow) + " come from " +
           WideToUtf8(name));
  return true;
}

PositionsStamp StampOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
  PositionsStamp stamp;
  stamp.present = true;
  stamp.writeTime = TimeOf(data.ftLastWriteTime);
  stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return stamp;
}

void WatchPositions() noexcept {
  try {
    UniqueChangeNotification change(
        ::FindFirstChangeNotificationW(g_folders.bridge.c_str(), FALSE, kWatchedChanges));
    if (!change) {
      LogDebug("Could not watch the bridge folder for position changes (error " +
               std::to_string(::GetLastError()) + "); the 500 ms tick pushes them.");
      return;
    }
    PositionsStampWatch watch;
    std::wstring results;
    ULONGLONG lastWake = 0;
    while (!IsShuttingDown()) {
      const DWORD woke = ::WaitForSingleObject(change.get(), kShutdownCheckMs);
      if (woke == WAIT_TIMEOUT) continue;
      if (woke != WAIT_OBJECT_0 || !::FindNextChangeNotification(change.get())) {
        LogDebug("The position change watch stopped (error " + std::to_string(::GetLastError()) +
                 "); the 500 ms tick pushes them.");
        return;
      }
      const ULONGLONG now = ::GetTickCount64();
      if (lastWake != 0 && now - lastWake < kMinWakeGapMs) {
        ::Sleep(static_cast<DWORD>(kMinWakeGapMs - (now - lastWake)));
      }
      lastWake = ::GetTickCount64();
      const std::wstring nowResults = ResultFilesSignature();
      if (nowResults != results) {
        results = nowResults;
        if (!results.empty()) HandOverResults();
      }
      if (!watch.Moved(StampOf(PositionsPath())) || g_messagePending.exchange(true)) continue;
      // A window thread already gone takes no task; the process is ending with it.
      if (!PostToWindowThread(OnPositionsChanged)) g_messagePending = false;
    }
  } catch (const std::exception&) {
    LogDebug("The position change watch stopped on an exception; the 500 ms tick pushes them.");
  }
}

}  // namespace

// Runs every 500 ms and on every change message, so the unchanged case is one existence
// test, one read and two comparisons, with no page call.
void PushOpenPositions() {
  if (!WebViewExists()) return;
  if (RefreshPositionsSource()) g_gate.Forget();
  const std::wstring path = PositionsPath();
  if (!FileExists(path)) return;
  FILETIME written{};
  const std::string text = WideToUtf8(ReadTextFile(path, &written));
  switch (g_gate.Decide(TimeOf(written), text)) {
    case PositionsPush::kNothing:
      return;
    case PositionsPush::kTooLarge:
      LogDebug("QV_OpenPositions.json has " + std::to_string(text.size()) + " bytes, over the " +
               std::to_string(kPositionsPushCapBytes) + " shown in the page; it is not pushed.");
      return;
    case PositionsPush::kPush: {
      JsonValue push = JsonObject();
      push.Set("type", JsonString("positions"));
      push.Set("text", JsonString(text));
      // The HUD renders the badge from the text. Without a built HUD the text counts as not
      // pushed, so the next tick (or the HUD's announcement) pushes it.
      if (!PushToHud(push)) g_gate.Forget();
      return;
    }
  }
}

void RepushOpenPositions() {
  g_gate.Forget();
  PushOpenPositions();
}

void StartPositionsWatch() {
  try {
    std::thread(WatchPositions).detach();
  } catch (const std::exception&) {
    LogDebug("Could not start the position change watch; the 500 ms tick pushes them.");
  }
}

void OnPositionsChanged() {
  // Cleared before the read, so a change made while it runs posts the next message.
  g_messagePending = false;
  PushOpenPositions();
}
