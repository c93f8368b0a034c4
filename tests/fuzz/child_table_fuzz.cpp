// The daemon's decisions on a stream of launch requests, against a simulated platform. The
// first input byte sets what the platform answers; the rest is requests separated by 0x1E.
// Laws: every child started gets a command line that splits back into the request's values;
// after a request the table holds the chart only with the request's mode and mapped symbol
// (or not at all when nothing could run); a navigation request names the new symbol only
// when it changed; a child that ends asking for a restart (flag 64) is started again with the
// values it was started with, its chart's record keeping them.
#include <map>

#include "daemon/child_table.h"
#include "fuzz_support.h"
#include "windows_argv.h"

namespace {

struct Child {
  int id = 0;
  bool ended = false;
};

struct FakeOps {
  using Process = Child;
  unsigned flags = 0;
  int nextId = 1;
  int starts = 0;
  std::wstring lastCommandLine;
  std::map<int, std::wstring> commandLines;  // by child id
  std::vector<std::pair<std::uint64_t, std::string>> navigations;

  ChildState StateOf(const Process& p) {
    if (flags & 8) return ChildState::kUnknown;
    if (!p.ended) return ChildState::kRunning;
    return (flags & 64) ? ChildState::kEndedForRestart : ChildState::kEnded;
  }
  void Terminate(Process& p) { p.ended = true; }
  bool Start(const std::wstring& commandLine, Process* out, unsigned long* error) {
    lastCommandLine = commandLine;
    ++starts;
    if (flags & 1) {
      *error = 2;
      return false;
    }
    commandLines[nextId] = commandLine;
    *out = Child{nextId++, (flags & 16) != 0};
    return true;
  }
  bool ChartWindowExists(std::uint64_t handle) { return (flags & 2) || handle % 2 == 1; }
  bool AdoptOverlayInChart(std::uint64_t, Process* out) {
    if (!(flags & 4)) return false;
    *out = Child{nextId++, false};
    return true;
  }
  bool RaiseStudioWindow() { return (flags & 32) != 0; }
  void WriteNavigationRequest(std::uint64_t handle, const std::string& symbol) {
    navigations.emplace_back(handle, symbol);
  }
  void WriteEvalRequest(std::uint64_t) {}
  void DeleteChartHeartbeat(std::uint64_t) {}
  void DeleteKillRequest(std::uint64_t) {}
  void WriteRestartRequest(std::uint64_t) {}
  std::uint64_t NowMs() { return now += 1000; }
  std::uint64_t now = 0;
  std::wstring ProgramPath() { return L"C:\\Quorvale\\Quorvale.exe"; }
  std::wstring ToWide(const std::string& s) { return fuzz::Latin1ToWide(s); }
  std::string ToUtf8(const std::wstring& s) { return fuzz::WideToLatin1(s); }
  void Log(const std::string&) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FakeOps ops;
  ops.flags = data[0];
  ChildTable<Child> table;
  for (const std::string& text : fuzz::Split(fuzz::Bytes(data + 1, size - 1), '\x1e')) {
    if (text.empty()) continue;  // the watch loop skips empty request texts
    const LaunchRequest request = ParseLaunchRequest(text);
    const std::string digits = HandleDigits(request.handleText);
    const std::uint64_t handle = ParseHandleDigits(digits);
    const std::string symbol =
        fuzz::WideToLatin1(MapToTradingViewSymbol(fuzz::Latin1ToWide(request.symbol)));
    const int startsBefore = ops.starts;
    const std::size_t navigationsBefore = ops.navigations.size();
    const auto before = table.find(handle);
    const std::string symbolBefore = before == table.end() ? "" : before->second.symbol;
    const bool knownBefore = before != table.end();

    const bool acted =
        !digits.empty() && !child_table_detail::HoldsNul(request) &&
        (IsStudioModeName(request.mode) || (handle != 0 && ops.ChartWindowExists(handle)));
    HandleLaunchRequest(table, text, ops);
    if (!acted) {
      FUZZ_CHECK(ops.starts == startsBefore && ops.navigations.size() == navigationsBefore);
      continue;
    }

    if (ops.starts > startsBefore) {
      FUZZ_CHECK(ops.starts == startsBefore + 1);
      const std::vector<std::wstring> args = fuzz::SplitWindowsCommandLine(ops.lastCommandLine);
      FUZZ_CHECK(args.size() == 7);
      FUZZ_CHECK(args[1] == fuzz::Latin1ToWide(digits));
      FUZZ_CHECK(args[2] == fuzz::Latin1ToWide(symbol));
      FUZZ_CHECK(args[3] == fuzz::Latin1ToWide(request.interval));
      FUZZ_CHECK(args[6] == fuzz::Latin1ToWide(request.mode));
    }
    const auto after = table.find(handle);
    if (after != table.end()) {
      FUZZ_CHECK(after->second.mode == request.mode);
      FUZZ_CHECK(after->second.symbol == symbol);
    }
    if (ops.navigations.size() > navigationsBefore) {
      FUZZ_CHECK(ops.navigations.size() == navigationsBefore + 1);
      FUZZ_CHECK(ops.navigations.back().first == handle);
      FUZZ_CHECK(ops.navigations.back().second == symbol);
      FUZZ_CHECK(!knownBefore || symbolBefore != symbol);
    }

    std::map<std::uint64_t, int> idBefore;
    for (const auto& [h, record] : table) idBefore[h] = record.process.id;
    ReapEndedChildren(table, ops);
    for (const auto& [h, record] : table) {
      FUZZ_CHECK(record.request.mode == record.mode);
      if (idBefore.count(h) && idBefore[h] == record.process.id) continue;
      // Started again on its own request: exactly as it was started before.
      FUZZ_CHECK(ops.flags & 64);
      const std::vector<std::wstring> args =
          fuzz::SplitWindowsCommandLine(ops.commandLines[record.process.id]);
      FUZZ_CHECK(args.size() == 7);
      FUZZ_CHECK(args[1] == fuzz::Latin1ToWide(record.digits));
      FUZZ_CHECK(args[2] == fuzz::Latin1ToWide(record.symbol));
      FUZZ_CHECK(args[3] == fuzz::Latin1ToWide(record.request.interval));
      FUZZ_CHECK(args[6] == fuzz::Latin1ToWide(record.mode));
    }
  }
  return 0;
}
