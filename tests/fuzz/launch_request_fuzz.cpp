// QV_Launch_*.txt bodies from any program that can write the bridge folder, and the
// KEY=VALUE reader every such bridge file goes through: the lines read, written back, read as
// the same lines. The parsed request written back as key=value lines parses to itself, and the
// handle digits read like a reference with wider arithmetic. A cut file reads differently only in
// its cut line.
#include <limits>

#include "bridge/key_value.h"
#include "daemon/launch_request.h"
#include "fuzz_support.h"

namespace {

bool Same(const LaunchRequest& a, const LaunchRequest& b) {
  return a.handleText == b.handleText && a.symbol == b.symbol && a.interval == b.interval &&
         a.theme == b.theme && a.userId == b.userId && a.mode == b.mode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body = fuzz::Bytes(data, size);
  const std::vector<KeyValue> lines = ReadKeyValues(body);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const KeyValue& line : lines) pairs.emplace_back(line.key, line.value);
  const std::string rewritten = WriteKeyValues(pairs);
  const std::vector<KeyValue> back = ReadKeyValues(rewritten);  // views into rewritten
  FUZZ_CHECK(back.size() == lines.size());
  for (std::size_t i = 0; i < back.size() && i < lines.size(); ++i) {
    FUZZ_CHECK(back[i].key == lines[i].key && back[i].value == lines[i].value);
  }

  const LaunchRequest request = ParseLaunchRequest(body);
  for (const std::string* value : {&request.handleText, &request.symbol, &request.interval,
                                   &request.theme, &request.userId, &request.mode}) {
    FUZZ_CHECK(value->find('\n') == std::string::npos);
  }
  const std::string written = "HWND=" + request.handleText + "\nSYMBOL=" + request.symbol +
                              "\r\nINTERVAL=" + request.interval + "\nTHEME=" + request.theme +
                              "\nUSER_ID=" + request.userId + "\nMODE=" + request.mode;
  const LaunchRequest again = ParseLaunchRequest(written);
  // An absent HWND key and an empty value are the same request.
  FUZZ_CHECK(Same(again, request));

  const std::string digits = HandleDigits(request.handleText);
  for (char c : digits) FUZZ_CHECK(c >= '0' && c <= '9');
  unsigned __int128 value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (char c : digits) {
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > kMax) value = kMax;
  }
  FUZZ_CHECK(ParseHandleDigits(digits) == static_cast<std::uint64_t>(value));
  FUZZ_CHECK(ParseHandleDigits(body) == ParseHandleDigits(HandleDigits(body)));

  // A cut file keeps the meaning of every line it left whole.
  fuzz::ForEachCut(body, [&](const std::string& prefix, const auto& mentions) {
    const LaunchRequest half = ParseLaunchRequest(prefix);
    const std::pair<const char*, std::string LaunchRequest::*> fields[] = {
        {"HWND", &LaunchRequest::handleText},   {"SYMBOL", &LaunchRequest::symbol},
        {"INTERVAL", &LaunchRequest::interval}, {"THEME", &LaunchRequest::theme},
        {"USER_ID", &LaunchRequest::userId},    {"MODE", &LaunchRequest::mode}};
    for (const auto& [key, member] : fields) {
      if (!mentions(key)) FUZZ_CHECK(half.*member == request.*member);
    }
  });
  return 0;
}
