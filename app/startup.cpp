#include "app/startup.h"

#include "overlay/symbol_mapping.h"

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
