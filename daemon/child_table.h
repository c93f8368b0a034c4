#pragma once
// The daemon's child table and its launch decisions, written against a small set of
// platform operations so the whole decision flow runs the same under the real processes
// and under the native tests. Owned and touched by the daemon's main thread only.
//
// Ops must provide:
//   using Process = <move-only owner of one child process>;
//   ChildState StateOf(const Process&);
//   void Terminate(Process&);                       // exit code 0, waits briefly for the end
//   bool Start(const std::wstring& commandLine, Process* out, unsigned long* error);
//   bool ChartWindowExists(std::uint64_t handle);
//   bool AdoptOverlayInChart(std::uint64_t handle, Process* out);
//   bool RaiseStudioWindow();                       // false when no studio window is found
//   void WriteNavigationRequest(std::uint64_t handle, const std::string& utf8Symbol);
//   void WriteEvalRequest(std::uint64_t handle);    // for the studio of that chart handle
//   void DeleteKillRequest(std::uint64_t handle);
//   void DeleteChartHeartbeat(std::uint64_t handle);  // of a child seen ended
//   void WriteRestartRequest(std::uint64_t handle);   // asks the child to restart
//   std::uint64_t NowMs();                            // milliseconds since system start
//   std::wstring ProgramPath();
//   std::wstring ToWide(const std::string&);  std::string ToUtf8(const std::wstring&);
//   void Log(const std::string&);
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "daemon/launch_request.h"
#include "overlay/symbol_mapping.h"

// The command line a child is started with: the quoted program path, then handle digits,
// mapped symbol, interval, theme, user id and mode, each after one blank.
// One argument as the child's CommandLineToArgvW will read it back. Plain values (no
// blank, tab, double quote or control character, not empty) are returned unchanged, so the
// ordinary command line stays exactly what the terminal companion has always seen; any
// other value is wrapped in double quotes with its quotes and the backslashes before them
// escaped, so it stays one argument with its exact text.
[[nodiscard]] std::wstring QuoteChildArgument(const std::wstring& value);

// Empty when a value holds a NUL character: the command line would end there and the child
// would silently fall back to defaults for everything after it.
[[nodiscard]] std::optional<std::wstring> BuildChildCommandLine(
    const std::wstring& programPath, const std::vector<std::wstring>& values);

// kUnknown: the process could not be asked. It is never taken for ended, so a failed query
// can neither start a second child on the same chart nor drop a live one from the table.
// kEndedForRestart: ended with kChildRestartExitCode, asking to be started again.
enum class ChildState { kRunning, kEnded, kEndedForRestart, kUnknown };

inline bool HasEnded(ChildState state) {
  return state == ChildState::kEnded || state == ChildState::kEndedForRestart;
}

// A child that asks for a restart this often within the window is not started again: it
// cannot help itself, and a restart loop would only flash the chart.
inline constexpr int kMaxChildRestarts = 3;
inline constexpr std::uint64_t kChildRestartWindowMs = 10 * 60 * 1000;
// How long the runtime-update round waits for one child to restart before it asks the next
// (a child waits for its orders in flight, at most two minutes).
inline constexpr std::uint64_t kRestartAskTimeoutMs = 5 * 60 * 1000;

template <typename Process>
struct ChildRecord {
  Process process;
  std::string mode;    // as written in the request that started the child
  std::string symbol;  // mapped symbol the child was last given, UTF-8
  // What the child was started with, to start it again the same way.
  std::string digits;
  LaunchRequest request;
  std::uint64_t startedAt = 0;
  std::vector<std::uint64_t> restarts;  // when it was started again on its own request
};

// The daemon's round of restarts after a runtime update: one child at a time, each asked
// once the one before has come back (or was given up on).
struct RestartRound {
  std::vector<std::uint64_t> waiting;  // chart handles still to ask, in order
  bool asking = false;
  std::uint64_t asked = 0;
  std::uint64_t askedAt = 0;
  // The version the children announced leaving: every child on the old browser announces
  // it, some only after the round has restarted others, and once is enough.
  std::string leaving;
};

template <typename Process>
using ChildTable = std::map<std::uint64_t, ChildRecord<Process>>;

namespace child_table_detail {

template <typename Ops>
void StartChild(ChildTable<typename Ops::Process>& table, std::uint64_t handle,
                const std::string& digits, const LaunchRequest& request,
                const std::wstring& wideSymbol, const std::string& utf8Symbol, Ops& ops,
                std::vector<std::uint64_t> restarts = {}) {
  ops.DeleteKillRequest(handle);
  ops.Log("Daemon launching Quorvale child for HWND: " + digits + " Mode: " + request.mode +
          " Symbol: " + utf8Symbol);
  const std::optional<std::wstring> commandLine = BuildChildCommandLine(
      ops.ProgramPath(),
      {ops.ToWide(digits), wideSymbol, ops.ToWide(request.interval), ops.ToWide(request.theme),
       ops.ToWide(request.userId), ops.ToWide(request.mode)});
  if (!commandLine) {
    // Checked before this point; kept so a NUL can never reach process creation.
    return;
  }
  typename Ops::Process process{};
  unsigned long error = 0;
  if (!ops.Start(*commandLine, &process, &error)) {
    ops.Log("CreateProcessW failed with error: " + std::to_string(error));
    return;
  }
  ChildRecord<typename Ops::Process> record;
  record.process = std::move(process);
  record.mode = request.mode;
  record.symbol = utf8Symbol;
  record.digits = digits;
  record.request = request;
  record.startedAt = ops.NowMs();
  record.restarts = std::move(restarts);
  table.insert_or_assign(handle, std::move(record));
}

inline bool HoldsNul(const LaunchRequest& r) {
  for (const std::string* value : {&r.symbol, &r.interval, &r.theme, &r.userId, &r.mode}) {
    if (value->find('\0') != std::string::npos) return true;
  }
  return false;
}

}  // namespace child_table_detail

// Acts on one launch request whose text was not empty (the file is already deleted).
template <typename Ops>
void HandleLaunchRequest(ChildTable<typename Ops::Process>& table, const std::string& utf8Text,
                         Ops& ops) {
  using child_table_detail::StartChild;
  const LaunchRequest request = ParseLaunchRequest(utf8Text);
  const std::string digits = HandleDigits(request.handleText);
  if (digits.empty()) return;
  const std::uint64_t handle = ParseHandleDigits(digits);
  const bool studio = IsStudioModeName(request.mode);
  if (!studio && (handle == 0 || !ops.ChartWindowExists(handle))) {
    ops.Log("Ignoring launch request for non-existent HWND: " + digits);
    return;
  }
  if (child_table_detail::HoldsNul(request)) {
    ops.Log("Ignoring launch request for HWND: " + digits +
            " because a value holds a NUL character, which cannot be passed to the child.");
    return;
  }

  const std::wstring wideSymbol = MapToTradingViewSymbol(ops.ToWide(request.symbol));
  const std::string utf8Symbol = ops.ToUtf8(wideSymbol);

  auto entry = table.find(handle);
  if (entry == table.end() && !studio) {
    // A daemon that restarted knows nothing of the overlays it started before; one of them
    // may still sit in this chart, and a second one would fight it for the window.
    typename Ops::Process running{};
    if (ops.AdoptOverlayInChart(handle, &running)) {
      ops.Log("Quorvale child found running in chart window for HWND: " + digits +
              ", adopted without a restart.");
      // Its symbol is unknown, so the navigation below tells it the requested one.
      ChildRecord<typename Ops::Process> record;
      record.process = std::move(running);
      record.mode = request.mode;
      record.digits = digits;
      record.request = request;
      record.startedAt = ops.NowMs();
      entry = table.insert_or_assign(handle, std::move(record)).first;
    }
  }
  if (entry == table.end()) {
    StartChild(table, handle, digits, request, wideSymbol, utf8Symbol, ops);
    return;
  }
  if (HasEnded(ops.StateOf(entry->second.process))) {
    if (handle != 0) ops.DeleteChartHeartbeat(handle);
    table.erase(entry);
    StartChild(table, handle, digits, request, wideSymbol, utf8Symbol, ops);
    return;
  }
  if (entry->second.mode != request.mode) {
    ops.Log("Quorvale child mode changed for HWND: " + digits + " from " + entry->second.mode +
            " to " + request.mode + ". Restarting child process...");
    ops.Terminate(entry->second.process);
    table.erase(entry);
    StartChild(table, handle, digits, request, wideSymbol, utf8Symbol, ops);
    return;
  }
  if (entry->second.symbol != utf8Symbol) {
    entry->second.symbol = utf8Symbol;
    ops.WriteNavigationRequest(handle, utf8Symbol);
  }
  if (studio) {
    if (ops.RaiseStudioWindow()) {
      ops.WriteEvalRequest(handle);
      ops.Log("Quorvale AI Studio brought to foreground.");
      return;
    }
    ops.Log("Quorvale AI Studio window not found despite active process. Relaunching child...");
    ops.Terminate(entry->second.process);
    table.erase(entry);
    StartChild(table, handle, digits, request, wideSymbol, utf8Symbol, ops);
    return;
  }
  ops.Log("Quorvale child already active in mode " + request.mode + " for HWND: " + digits +
          ", brought to focus.");
}

// Forgets children whose processes have ended; a process that cannot be asked is kept. A
// child that ended asking for a restart is started again with the values it was started
// with (it left the symbol it showed as its navigation request), within kMaxChildRestarts.
template <typename Ops>
void ReapEndedChildren(ChildTable<typename Ops::Process>& table, Ops& ops) {
  using Record = ChildRecord<typename Ops::Process>;
  std::vector<std::pair<std::uint64_t, Record>> again;
  for (auto it = table.begin(); it != table.end();) {
    const ChildState state = ops.StateOf(it->second.process);
    if (HasEnded(state)) {
      // A child that died without its clean shutdown (killed, crashed) left its heartbeat,
      // and the companion would believe a dead overlay alive.
      if (it->first != 0) ops.DeleteChartHeartbeat(it->first);
      if (state == ChildState::kEndedForRestart)
        again.emplace_back(it->first, std::move(it->second));
      it = table.erase(it);
    } else {
      ++it;
    }
  }
  const std::uint64_t now = ops.NowMs();
  for (auto& [handle, record] : again) {
    std::vector<std::uint64_t> restarts;
    for (std::uint64_t at : record.restarts) {
      if (now - at < kChildRestartWindowMs) restarts.push_back(at);
    }
    if (static_cast<int>(restarts.size()) >= kMaxChildRestarts) {
      ops.Log("Quorvale child for HWND: " + record.digits + " asked for a restart " +
              std::to_string(restarts.size() + 1) +
              " times within ten minutes; it is not started again.");
      continue;
    }
    restarts.push_back(now);
    ops.Log("Quorvale child for HWND: " + record.digits + " asked for a restart.");
    child_table_detail::StartChild(table, handle, record.digits, record.request,
                                   ops.ToWide(record.symbol), record.symbol, ops,
                                   std::move(restarts));
  }
}

// A runtime update was announced: every child now in the table is to restart, one by one,
// so that the browser of the old version ends and the new one can start.
template <typename Ops>
void BeginRestartRound(const ChildTable<typename Ops::Process>& table, RestartRound& round,
                       const std::string& version, Ops& ops) {
  if (version == round.leaving) return;
  round.leaving = version;
  std::size_t added = 0;
  for (const auto& [handle, record] : table) {
    bool queued = round.asking && round.asked == handle;
    for (std::uint64_t h : round.waiting) queued = queued || h == handle;
    if (queued) continue;
    round.waiting.push_back(handle);
    ++added;
  }
  ops.Log("A new WebView2 runtime is installed (children ran " + version + "); restarting " +
          std::to_string(added) + " children one by one.");
}

// One step of the round per pass: the child asked last must have come back (a process
// started after it was asked) or have gone, or have had its time, before the next is asked.
template <typename Ops>
void AdvanceRestartRound(const ChildTable<typename Ops::Process>& table, RestartRound& round,
                         Ops& ops) {
  const std::uint64_t now = ops.NowMs();
  if (round.asking) {
    const auto entry = table.find(round.asked);
    const bool back = entry == table.end() || entry->second.startedAt > round.askedAt;
    if (!back && now - round.askedAt < kRestartAskTimeoutMs) return;
    if (!back) {
      ops.Log("Quorvale child for HWND: " + entry->second.digits +
              " did not restart for the runtime update; asking the next one.");
    }
    round.asking = false;
    if (round.waiting.empty()) ops.Log("Every child was restarted for the runtime update.");
  }
  while (!round.waiting.empty()) {
    const std::uint64_t handle = round.waiting.front();
    round.waiting.erase(round.waiting.begin());
    const auto entry = table.find(handle);
    if (entry == table.end()) continue;
    ops.WriteRestartRequest(handle);
    ops.Log("Asking the Quorvale child for HWND: " + entry->second.digits +
            " to restart for the runtime update.");
    round.asking = true;
    round.asked = handle;
    round.askedAt = now;
    return;
  }
}
