#include "host/launch_values.h"

#include <limits>

#include "overlay/symbol_mapping.h"

std::uint64_t ParseWindowHandle(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - L'0');
    if (value > (kMax - digit) / 10) return kMax;
    value = value * 10 + digit;
  }
  return value;
}

bool IsDaemonSwitch(const std::wstring& argument) {
  return argument == L"--daemon" || argument == L"-daemon" || argument == L"/daemon" ||
         argument == L"daemon" || argument == L"-d";
}

ProcessRole SelectRole(const std::vector<std::wstring>& args) {
  if (args.size() < 2 || IsDaemonSwitch(args[1])) return ProcessRole::kDaemon;
  return ProcessRole::kChild;
}

LaunchValues ParseChildLaunchValues(const std::vector<std::wstring>& args) {
  LaunchValues values;
  if (args.size() > 1) values.chartWindow = ParseWindowHandle(args[1]);
  if (args.size() > 2) values.symbol = MapToTradingViewSymbol(args[2]);
  if (args.size() > 3) values.interval = args[3];
  if (args.size() > 4) values.theme = args[4];
  if (args.size() > 5) values.userId = args[5];
  if (args.size() > 6) values.mode = args[6];
  return values;
}

bool IsStudioMode(const std::wstring& mode) {
  return mode == L"HEADLESS_VPS";
}
