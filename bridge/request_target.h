#pragma once
// Which process takes a request file that may name the chart it is meant for (the key
// "HWND=" in capture and evaluation requests). Std-only, so the decisions are unit tested.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// How long a request naming another chart waits for that chart's process before any
// process may take it, and how old a chart heartbeat may be while its process counts as
// running (heartbeats are rewritten every 4 s, give or take the 500 ms timer).
inline constexpr std::uint64_t kForeignRequestGraceMs = 3000;
inline constexpr std::uint64_t kHeartbeatFreshMs = 12000;

// The digits of the value of the last "HWND=" line (other characters dropped, as in launch
// requests), read as a handle; 0 when there is none, no digit or the number overflows.
[[nodiscard]] std::uint64_t RequestChartHandle(const std::string& utf8Body);

// "ACTIVE=<tick>" written at most kHeartbeatFreshMs before now. An unreadable body, or a
// tick in the future by more than the same margin (another boot), is not fresh.
[[nodiscard]] bool IsHeartbeatFresh(const std::string& heartbeatBody, std::uint64_t nowTick);

// A request naming no chart, or this process's own chart, is taken at once. One naming
// another chart is left to that chart's process while it runs; when none runs it is taken
// once this process has seen it waiting for the grace period.
[[nodiscard]] bool ShouldTakeRequest(std::uint64_t ownHandle, std::uint64_t namedHandle,
                                     bool namedChartRunning, std::uint64_t waitedMs);

// Remembers when this process first saw each waiting request, by file name (compared
// without letter case, as the file system does).
class RequestWaitClock {
 public:
  // Milliseconds since name was first seen (0 on the first sighting).
  [[nodiscard]] std::uint64_t Waited(const std::wstring& name, std::uint64_t nowTick);
  void Forget(const std::wstring& name);
  // Drops every name not in seen, so requests taken by other processes are not kept for ever.
  void Retain(const std::vector<std::wstring>& seen);
  [[nodiscard]] std::size_t size() const { return firstSeen_.size(); }

 private:
  std::map<std::wstring, std::uint64_t> firstSeen_;
};

// The body the daemon writes to QV_EvalRequest.txt: "EVAL", and for a named chart a line
// feed and "HWND=<handle>". Readers of the first version only test that the file exists.
[[nodiscard]] std::string EvalRequestBody(std::uint64_t chartHandle);
