#include "overlay/bar_claim.h"

namespace {

bool AllOf(const std::string& text, std::size_t minLen, std::size_t maxLen, bool (*ok)(char)) {
  if (text.size() < minLen || text.size() > maxLen) return false;
  for (char c : text) {
    if (!ok(c)) return false;
  }
  return true;
}

bool IsAlnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsSymbolChar(char c) {
  return IsAlnum(c) || c == '_' || c == '-' || c == '.';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool ParseBarClaim(const std::string& rest, BarClaim* claim) {
  const std::size_t first = rest.find(',');
  if (first == std::string::npos) return false;
  const std::size_t second = rest.find(',', first + 1);
  if (second == std::string::npos) return false;
  BarClaim parsed;
  parsed.instrument = rest.substr(0, first);
  parsed.bar = rest.substr(first + 1, second - first - 1);
  parsed.token = rest.substr(second + 1);
  // "." and ".." would name no claim of an instrument.
  if (parsed.instrument.find_first_not_of('.') == std::string::npos) return false;
  if (!AllOf(parsed.instrument, 1, 32, IsSymbolChar) || !AllOf(parsed.bar, 1, 20, IsDigit) ||
      !AllOf(parsed.token, 8, 64, IsAlnum)) {
    return false;
  }
  *claim = parsed;
  return true;
}

std::string BarClaimFileName(const BarClaim& claim) {
  return "QV_ATClaim_" + claim.instrument + "_" + claim.bar + ".txt";
}

bool IsExpiredBarClaim(std::uint64_t ageMs) {
  return ageMs > kBarClaimKeepMs;
}
