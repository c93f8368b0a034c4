#include "services/cot_refresh.h"

bool IsCotFileFresh(std::uint64_t lastWriteTime, std::uint64_t now) {
  const bool stale = now > lastWriteTime && now - lastWriteTime >= kCotFreshnessLimit;
  return !stale;
}

bool IsAcceptableCotBody(const std::string& body) {
  return body.size() > 200 && body.find("\"records\"") != std::string::npos;
}

std::string CotSavedLogLine(std::size_t bytes) {
  return "Successfully saved fresh QV_COTData.json (" + std::to_string(bytes) + " bytes).";
}
