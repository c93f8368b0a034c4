#include "daemon/launch_request.h"

#include <limits>

#include "bridge/bridge_names.h"
#include "bridge/key_value.h"
#include "host/ascii_text.h"

LaunchRequest ParseLaunchRequest(const std::string& utf8Body) {
  LaunchRequest request;
  for (const KeyValue& line : ReadKeyValues(utf8Body)) {
    std::string value(line.value);
    if (line.key == "HWND") {
      request.handleText = std::move(value);
    } else if (line.key == "SYMBOL") {
      request.symbol = std::move(value);
    } else if (line.key == "INTERVAL") {
      request.interval = std::move(value);
    } else if (line.key == "THEME") {
      request.theme = std::move(value);
    } else if (line.key == "USER_ID") {
      request.userId = std::move(value);
    } else if (line.key == "MODE") {
      request.mode = std::move(value);
    }
  }
  return request;
}

std::string HandleDigits(const std::string& handleText) {
  return DigitsOf(handleText);
}

std::uint64_t ParseHandleDigits(const std::string& digits) {
  // Saturates where the bridge's other numbers fail: an absurd request then names no
  // window, instead of being read as some other one.
  const std::string only = DigitsOf(digits);
  if (only.empty()) return 0;
  std::uint64_t value = 0;
  return ParseDecimal(only, &value) ? value : std::numeric_limits<std::uint64_t>::max();
}

bool IsLaunchRequestFileName(const std::wstring& name) {
  return StartsAndEndsWithNoCase(name, WideName(kLaunchRequestPrefix), L".txt");
}

bool IsStudioModeName(const std::string& mode) {
  return mode == "HEADLESS_VPS";
}
