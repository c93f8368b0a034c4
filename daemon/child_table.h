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
//   std::wstring ProgramPath();
//   std::wstring ToWide(const std::string&);  std::string ToUtf8(const std::wstring&);
//   void Log(const std::string&);
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "daemon/child_command_line.h"
#include "daemon/launch_request.h"
#include "overlay/symbol_mapping.h"

// kUnknown: the process could not be asked. It is never taken for ended, so a failed query
// can neither start a second child on the same chart nor drop a live one from the table.
enum class ChildState { kRunning, kEnded, kUnknown };

template <typename Process>
struct ChildRecord {
  Process process;
  std::string mode;    // as written in the request that started the child
  std::string symbol;  // mapped symbol the child was last given, UTF-8
};

template <typename Process>
using ChildTable = std::map<std::uint64_t, ChildRecord<Process>>;

namespace child_table_detail {

template <typename Ops>
void StartChild(ChildTable<typename Ops::Process>& table, std::uint64_t handle,
                const std::string& digits, const LaunchRequest& request,
                const std::wstring& wideSymbol, const std::string& utf8Symbol, Ops& ops) {
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
  table.insert_or_assign(
      handle, ChildRecord<typename Ops::Process>{std::move(process), request.mode, utf8Symbol});
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
      entry = table
                  .insert_or_assign(
                      handle, ChildRecord<typename Ops::Process>{std::move(running), request.mode,
                                                                 std::string()})
                  .first;
    }
  }
  if (entry == table.end()) {
    StartChild(table, handle, digits, request, wideSymbol, utf8Symbol, ops);
    return;
  }
  if (ops.StateOf(entry->second.process) == ChildState::kEnded) {
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

// Forgets children whose processes have ended; a process that cannot be asked is kept.
template <typename Ops>
void ReapEndedChildren(ChildTable<typename Ops::Process>& table, Ops& ops) {
  for (auto it = table.begin(); it != table.end();) {
    if (ops.StateOf(it->second.process) == ChildState::kEnded) {
      // A child that died without its clean shutdown (killed, crashed) left its heartbeat,
      // and the companion would believe a dead overlay alive.
      if (it->first != 0) ops.DeleteChartHeartbeat(it->first);
      it = table.erase(it);
    } else {
      ++it;
    }
  }
}
