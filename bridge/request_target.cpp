#include "bridge/request_target.h"

#include <limits>

namespace {

wchar_t LowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::wstring Lower(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

bool EqualNoCase(const std::wstring& a, std::size_t at, const std::wstring& b) {
  if (at + b.size() > a.size()) return false;
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (LowerAscii(a[at + i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Digits only, as launch requests read "HWND"; false on overflow so a garbled handle can
// never come out as some other chart's number.
bool ParseDigits(const std::string& value, std::uint64_t* out) {
  std::uint64_t result = 0;
  bool any = false;
  for (const char c : value) {
    if (c < '0' || c > '9') continue;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (result > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    result = result * 10 + digit;
    any = true;
  }
  *out = result;
  return any;
}

}  // namespace

std::uint64_t RequestChartHandle(const std::string& body) {
  std::string value;
  bool found = false;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t' || key.back() == '\r')) {
      key.pop_back();
    }
    if (key != "HWND") continue;
    value = line.substr(equals + 1);
    found = true;
  }
  std::uint64_t handle = 0;
  if (!found || !ParseDigits(value, &handle)) return 0;
  return handle;
}

bool IsHeartbeatFresh(const std::string& body, std::uint64_t nowTick) {
  static const std::string kPrefix = "ACTIVE=";
  if (body.compare(0, kPrefix.size(), kPrefix) != 0 || body.size() == kPrefix.size()) return false;
  std::uint64_t tick = 0;
  for (std::size_t i = kPrefix.size(); i < body.size(); ++i) {
    const char c = body[i];
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (tick > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    tick = tick * 10 + digit;
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
  const auto inserted = firstSeen_.emplace(Lower(name), nowTick);
  const std::uint64_t first = inserted.first->second;
  return nowTick >= first ? nowTick - first : 0;
}

void RequestWaitClock::Forget(const std::wstring& name) {
  firstSeen_.erase(Lower(name));
}

void RequestWaitClock::Retain(const std::vector<std::wstring>& seen) {
  std::map<std::wstring, std::uint64_t> kept;
  for (const std::wstring& name : seen) {
    const auto found = firstSeen_.find(Lower(name));
    if (found != firstSeen_.end()) kept.insert(*found);
  }
  firstSeen_.swap(kept);
}

std::string EvalRequestBody(std::uint64_t chartHandle) {
  if (chartHandle == 0) return "EVAL";
  return "EVAL\nHWND=" + std::to_string(chartHandle);
}

bool StartsAndEndsWithNoCase(const std::wstring& name, const std::wstring& prefix,
                             const std::wstring& suffix) {
  return name.size() >= prefix.size() + suffix.size() && EqualNoCase(name, 0, prefix) &&
         EqualNoCase(name, name.size() - suffix.size(), suffix);
}
