#include "bridge/request_target.h"

#include "bridge/key_value.h"
#include "host/ascii_text.h"

std::uint64_t RequestChartHandle(const std::string& body) {
  const auto value = LastValueOf(body, "HWND");
  std::uint64_t handle = 0;
  if (!value || !ParseDecimal(DigitsOf(*value), &handle)) return 0;
  return handle;
}

bool IsHeartbeatFresh(const std::string& body, std::uint64_t nowTick) {
  constexpr std::string_view kPrefix = "ACTIVE=";
  std::uint64_t tick = 0;
  if (std::string_view(body).substr(0, kPrefix.size()) != kPrefix ||
      !ParseDecimal(std::string_view(body).substr(kPrefix.size()), &tick)) {
    return false;
  }
  if (tick > nowTick) return tick - nowTick <= kHeartbeatFreshMs;
  return nowTick - tick <= kHeartbeatFreshMs;
}

bool ShouldTakeRequest(std::uint64_t ownHandle, std::uint64_t namedHandle, bool namedChartRunning,
                       std::uint64_t waitedMs) {
  if (namedHandle == 0 || namedHandle == ownHandle) return true;
  if (namedChartRunning) return false;
  return waitedMs >= kForeignRequestGraceMs;
}

std::uint64_t RequestWaitClock::Waited(const std::wstring& name, std::uint64_t nowTick) {
  const auto inserted = firstSeen_.emplace(AsciiLowered(name), nowTick);
  const std::uint64_t first = inserted.first->second;
  return nowTick >= first ? nowTick - first : 0;
}

void RequestWaitClock::Forget(const std::wstring& name) {
  firstSeen_.erase(AsciiLowered(name));
}

void RequestWaitClock::Retain(const std::vector<std::wstring>& seen) {
  std::map<std::wstring, std::uint64_t> kept;
  for (const std::wstring& name : seen) {
    const auto found = firstSeen_.find(AsciiLowered(name));
    if (found != firstSeen_.end()) kept.insert(*found);
  }
  firstSeen_.swap(kept);
}

std::string EvalRequestBody(std::uint64_t chartHandle) {
  if (chartHandle == 0) return "EVAL";
  return "EVAL\nHWND=" + std::to_string(chartHandle);
}
