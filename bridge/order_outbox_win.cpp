#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/chart_accounts.h"
#include "bridge/file_replace.h"
#include "bridge/order_outbox.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/file_time.h"
#include "host/file_time_win.h"
#include "host/process_state.h"
#include "host/win_handles.h"

namespace {

// Session-local: the daemon and the charts of one log-on share it, another log-on (with
// its own common folder) does not.
constexpr wchar_t kOutboxMutexName[] = L"Local\\QuorvaleWorkspace_Order_Outbox";
constexpr DWORD kLockWaitMs = 15000;

std::atomic<bool> g_protocolWritten{false};

std::wstring Bridge(const std::wstring& name) {
  return BridgePath(g_folders.bridge, name);
}

std::wstring OutboxStatePath() {
  return g_folders.workspaceRoot + L"\\" + kOutboxStateFileName;
}

class OutboxLock {
 public:
  OutboxLock() : mutex_(::CreateMutexW(nullptr, FALSE, kOutboxMutexName)) {
    if (!mutex_) {
      error_ = ::GetLastError();
      return;
    }
    const DWORD wait = ::WaitForSingleObject(mutex_.get(), kLockWaitMs);
    // Abandoned: a sender died holding it; what it wrote is whole or absent, so go on.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
      held_ = true;
    } else {
      error_ = wait == WAIT_TIMEOUT ? WAIT_TIMEOUT : ::GetLastError();
    }
  }
  ~OutboxLock() {
    if (held_) ::ReleaseMutex(mutex_.get());
  }
  OutboxLock(const OutboxLock&) = delete;
  OutboxLock& operator=(const OutboxLock&) = delete;
  [[nodiscard]] DWORD error() const { return held_ ? 0 : (error_ ? error_ : ERROR_GEN_FAILURE); }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
  DWORD error_ = 0;
};

std::uint64_t AccountOfLive(const std::vector<ChartRegistration>& live,
                            const std::string& account) {
  for (const ChartRegistration& chart : live) {
    if (chart.account == account) return chart.hwnd;
  }
  return 0;
}

OrderSend Failed(OrderSend send, std::uint32_t error, const char* step) {
  send.status = {error};
  send.step = step;
  return send;
}

}  // namespace

WriteStatus WriteProtocolFile() {
  const WriteStatus status =
      ReplaceFileWhole(Bridge(kProtocolFileName), kProtocolBody, WriteRetry::kPatient);
  if (status.ok()) g_protocolWritten = true;
  return status;
}

OrderSend SendOrder(const Order& order, bool keepOrderId) {
  OrderSend send;
  send.order = order;
  // Only the outbox names these; whatever came in with the order is not the truth.
  send.order.account.clear();
  send.order.seq = 0;
  send.order.id.clear();  // until the outbox state holds the number it goes out with
  send.record = OrderRecordLine(order);
  OutboxLock lock;
  if (lock.error()) return Failed(send, lock.error(), "take the outbox lock");
  if (!g_protocolWritten) {
    const WriteStatus protocol = WriteProtocolFile();
    if (!protocol.ok()) return Failed(send, protocol.error, "write QV_Protocol.txt");
  }
  // Current companions announce their charts; only they read the added lines, and while
  // one runs the slot stays untouched, so a companion of the first version anywhere cannot
  // execute the order a second time.
  const std::vector<ChartRegistration> live = LiveChartRegistrations();
  // Without any current companion the order names no account, as before: companions of
  // earlier versions take it from the slot or its plain order file.
  if (!live.empty()) {
    send.order.account = order.chart != 0 ? AccountOfChart(live, order.chart) : OrderAccount(live);
  }
  if (!send.order.account.empty() && AccountOfLive(live, send.order.account) == 0) {
    send.refusal = "no terminal companion of account " + send.order.account + " is running";
    return Failed(send, ERROR_NOT_FOUND, "find a companion of the order's account");
  }
  const std::wstring statePath = OutboxStatePath();
  std::uint64_t last = 0;
  if (FileExists(statePath)) {
    const std::optional<std::uint64_t> parsed =
        ParseOutboxState(WideToUtf8(ReadTextFile(statePath)));
    // A damaged state file still yields unique ids: the clock part alone moves forward.
    if (parsed) {
      last = *parsed;
    } else {
      LogDebug("The outbox state file is damaged; order ids go on from the clock.");
    }
  }
  // Every order takes the next number, also one that keeps its own id: the number is the
  // sequence an account's companions execute in.
  const std::uint64_t next = NextOrderId(last, UnixMsNow());
  // Recorded before the order leaves, so a kill right after can never hand the id out
  // again. Not flushed: after a power loss an older or damaged number may come back, and
  // the clock part, far past it by the next start, keeps the ids unique; the click waits
  // on one disk round trip less.
  const WriteStatus kept = ReplaceFileWhole(statePath, OutboxStateBody(next), WriteRetry::kPatient,
                                            WriteDurability::kProcessKill);
  if (!kept.ok()) return Failed(send, kept.error, "record the order id");
  send.order.id = keepOrderId ? order.id : std::to_string(next);
  send.record = OrderRecordLine(send.order);
  if (!IsValidOrderId(send.order.id)) {
    return Failed(send, ERROR_INVALID_NAME, "use the order id");
  }
  // The added lines are for current companions only: an earlier one refuses such a file.
  Order written = send.order;
  if (send.order.account.empty()) {
    written.chart = 0;
    written.slKind.clear();
    written.tpKind.clear();
  } else {
    written.seq = next;
    send.order.seq = next;
  }
  const std::wstring orderPath = Bridge(OrderFileName(send.order.id));
  const WriteStatus placed =
      ReplaceFileWhole(orderPath, OrderFileBody(written), WriteRetry::kPatient);
  if (!placed.ok()) return Failed(send, placed.error, "write the order file");
  if (!live.empty()) return send;
  const WriteStatus signal =
      ReplaceFileWhole(Bridge(kTradeSignalFileName), send.record, WriteRetry::kPatient);
  if (!signal.ok()) {
    // Taken back so that "not sent" stays true. When it cannot be deleted a companion has
    // renamed it away already (or will take it), and then the order is out after all.
    if (::DeleteFileW(orderPath.c_str())) {
      return Failed(send, signal.error, "replace QV_TradeSignal.csv");
    }
    send.step = "replace QV_TradeSignal.csv (" + DescribeWriteError(signal.error) +
                "; the order file was already taken)";
  }
  return send;
}

std::optional<TradeResult> TakeTradeResult(const std::string& id) {
  if (!IsValidOrderId(id)) return std::nullopt;
  const std::wstring path = Bridge(TradeResultFileName(id));
  if (!FileExists(path)) return std::nullopt;
  std::optional<TradeResult> result = ParseTradeResult(WideToUtf8(ReadTextFile(path)), id);
  // An unreadable or partial file stays for the next pass; a whole one is ours to remove.
  if (result) ::DeleteFileW(path.c_str());
  return result;
}

void SweepStaleOrderFiles() {
  const std::uint64_t now = UnixMsNow();
  for (const std::wstring& pattern :
       {TradeResultFileName("*"), OrderFileName("*"), OrderTakenFileName("*")}) {
    WIN32_FIND_DATAW found{};
    const UniqueFind listing(::FindFirstFileW(Bridge(pattern).c_str(), &found));
    if (!listing.valid()) continue;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::uint64_t written = UnixMsFromFileTicks(FileTicks(found.ftLastWriteTime));
      if (now > written && now - written > kStaleOrderFileAgeMs) {
        ::DeleteFileW(Bridge(found.cFileName).c_str());
      }
    } while (::FindNextFileW(listing.get(), &found));
  }
}
