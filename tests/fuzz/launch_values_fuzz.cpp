// The road of the six launch values: a launch request body is parsed by the daemon, put on
// the child's command line, split by Windows' rules and read by the child. The child ends
// up with exactly the values of the request (the symbol mapped), its role is the child
// role, and its window handle is the one the daemon named.
#include "app/startup.h"
#include "daemon/child_table.h"
#include "daemon/launch_request.h"
#include "fuzz_support.h"
#include "overlay/symbol_mapping.h"
#include "windows_argv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const LaunchRequest request = ParseLaunchRequest(fuzz::Bytes(data, size));
  const std::string digits = HandleDigits(request.handleText);
  if (digits.empty()) return 0;  // the daemon acts on no such request
  const std::wstring symbol = MapToTradingViewSymbol(fuzz::Latin1ToWide(request.symbol));
  const std::vector<std::wstring> values = {
      fuzz::Latin1ToWide(digits),           symbol,
      fuzz::Latin1ToWide(request.interval), fuzz::Latin1ToWide(request.theme),
      fuzz::Latin1ToWide(request.userId),   fuzz::Latin1ToWide(request.mode)};
  const std::optional<std::wstring> line =
      BuildChildCommandLine(L"C:\\Quorvale\\Quorvale Workspace.exe", values);
  bool holdsNul = false;
  for (const std::wstring& v : values) holdsNul |= v.find(L'\0') != std::wstring::npos;
  FUZZ_CHECK(line.has_value() == !holdsNul);
  if (!line) return 0;

  const std::vector<std::wstring> args = fuzz::SplitWindowsCommandLine(*line);
  FUZZ_CHECK(args.size() == 7);
  FUZZ_CHECK(SelectRole(args) == ProcessRole::kChild || IsDaemonSwitch(args[1]));
  const LaunchValues child = ParseChildLaunchValues(args);
  FUZZ_CHECK(child.chartWindow == ParseHandleDigits(digits));
  FUZZ_CHECK(child.chartWindow == ParseWindowHandle(args[1]));
  FUZZ_CHECK(child.symbol == symbol);
  FUZZ_CHECK(child.interval == values[2] && child.theme == values[3]);
  FUZZ_CHECK(child.userId == values[4] && child.mode == values[5]);
  FUZZ_CHECK(IsStudioMode(child.mode) == IsStudioModeName(request.mode));
  return 0;
}
