#include "daemon/child_table.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace {

// A stand-in for one child process: its id points into the fake's process list, so the
// tests can end a process "from outside" and see what the table closed.
struct FakeProcess {
  int id = -1;
};

struct FakeProcessInfo {
  std::wstring commandLine;
  ChildState state = ChildState::kRunning;
  bool terminated = false;
};

// Plain ASCII plus two-byte UTF-8 is all these cases need.
std::wstring Widen(const std::string& s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      out.push_back(static_cast<wchar_t>(((c & 0x1F) << 6) | (s[++i] & 0x3F)));
    } else {
      out.push_back(static_cast<wchar_t>(c));
    }
  }
  return out;
}
std::string Narrow(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

struct FakeOps {
  using Process = FakeProcess;

  std::vector<FakeProcessInfo> processes;
  std::set<std::uint64_t> windows{5678, 7, 9001};
  std::map<std::uint64_t, int> overlaysInCharts;  // chart → index into processes
  bool studioWindow = true;
  bool startFails = false;
  std::vector<std::string> log;
  std::vector<std::pair<std::uint64_t, std::string>> navigations;
  std::vector<std::uint64_t> killDeletes;
  std::vector<std::uint64_t> heartbeatDeletes;
  std::vector<std::uint64_t> restartRequests;
  std::uint64_t now = 100000;
  int evalWrites = 0;
  std::uint64_t evalHandle = 0;
  int raises = 0;

  ChildState StateOf(const Process& p) { return processes.at(p.id).state; }
  void Terminate(Process& p) {
    processes.at(p.id).terminated = true;
    processes.at(p.id).state = ChildState::kEnded;
  }
  bool Start(const std::wstring& commandLine, Process* out, unsigned long* error) {
    if (startFails) {
      *error = 2;
      return false;
    }
    processes.push_back({commandLine});
    out->id = static_cast<int>(processes.size()) - 1;
    return true;
  }
  bool ChartWindowExists(std::uint64_t h) { return windows.count(h) > 0; }
  bool AdoptOverlayInChart(std::uint64_t h, Process* out) {
    auto it = overlaysInCharts.find(h);
    if (it == overlaysInCharts.end()) return false;
    out->id = it->second;
    return true;
  }
  bool RaiseStudioWindow() {
    ++raises;
    return studioWindow;
  }
  void WriteNavigationRequest(std::uint64_t h, const std::string& s) {
    navigations.emplace_back(h, s);
  }
  void WriteEvalRequest(std::uint64_t handle) {
    ++evalWrites;
    evalHandle = handle;
  }
  void DeleteKillRequest(std::uint64_t h) { killDeletes.push_back(h); }
  void DeleteChartHeartbeat(std::uint64_t h) { heartbeatDeletes.push_back(h); }
  void WriteRestartRequest(std::uint64_t h) { restartRequests.push_back(h); }
  std::uint64_t NowMs() { return now; }
  std::wstring ProgramPath() { return L"C:\\qv\\QuorvaleWorkspace.exe"; }
  std::wstring ToWide(const std::string& s) { return Widen(s); }
  std::string ToUtf8(const std::wstring& w) { return Narrow(w); }
  void Log(const std::string& m) { log.push_back(m); }
};

class ChildTableTest : public ::testing::Test {
 protected:
  void Launch(const std::string& text) { HandleLaunchRequest(table, text, ops); }
  FakeOps ops;
  ChildTable<FakeProcess> table;
};

TEST_F(ChildTableTest, HandleOnlyStartsAWorkstationChildWithDefaults) {
  Launch("HWND=5678");
  ASSERT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(
      ops.processes[0].commandLine,
      L"\"C:\\qv\\QuorvaleWorkspace.exe\" 5678 NASDAQ:NDX D dark MQL5_MARKET_EDITION WORKSTATION");
  EXPECT_EQ(
      ops.log,
      std::vector<std::string>{
          "Daemon launching Quorvale child for HWND: 5678 Mode: WORKSTATION Symbol: NASDAQ:NDX"});
  EXPECT_EQ(ops.killDeletes, std::vector<std::uint64_t>{5678});
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.at(5678).mode, "WORKSTATION");
  EXPECT_EQ(table.at(5678).symbol, "NASDAQ:NDX");
}

TEST_F(ChildTableTest, HandleDigitsAsWrittenOnTheLineNumericEverywhereElse) {
  Launch("HWND=007\nSYMBOL=gold");
  ASSERT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(
      ops.processes[0].commandLine,
      L"\"C:\\qv\\QuorvaleWorkspace.exe\" 007 OANDA:XAUUSD D dark MQL5_MARKET_EDITION WORKSTATION");
  EXPECT_EQ(ops.killDeletes, std::vector<std::uint64_t>{7});
  EXPECT_EQ(table.count(7), 1u);
  Launch("HWND=7\nSYMBOL=EURUSD");  // the same chart, however its digits are written
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.navigations, (std::vector<std::pair<std::uint64_t, std::string>>{{7, "EURUSD"}}));
}

TEST_F(ChildTableTest, RepeatedRequestNeverStartsASecondProcess) {
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_TRUE(ops.navigations.empty());
  EXPECT_EQ(ops.log.back(),
            "Quorvale child already active in mode WORKSTATION for HWND: 5678, brought to focus.");
  EXPECT_EQ(ops.raises, 0);  // an overlay is never looked up as a studio
}

TEST_F(ChildTableTest, NewSymbolNavigatesOnceAndIsRemembered) {
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  Launch("HWND=5678\nSYMBOL=BTCUSD");
  Launch("HWND=5678\nSYMBOL=BTCUSD");
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.navigations,
            (std::vector<std::pair<std::uint64_t, std::string>>{{5678, "COINBASE:BTCUSD"}}));
  EXPECT_EQ(table.at(5678).symbol, "COINBASE:BTCUSD");
  EXPECT_EQ(ops.log.back(),
            "Quorvale child already active in mode WORKSTATION for HWND: 5678, brought to focus.");
}

TEST_F(ChildTableTest, ModeChangeTerminatesAndRestartsNamingBothModes) {
  Launch("HWND=5678");
  Launch("HWND=5678\nMODE=HEADLESS_VPS");
  ASSERT_EQ(ops.processes.size(), 2u);
  EXPECT_TRUE(ops.processes[0].terminated);
  EXPECT_FALSE(ops.processes[1].terminated);
  EXPECT_EQ(ops.log[1],
            "Quorvale child mode changed for HWND: 5678 from WORKSTATION to HEADLESS_VPS. "
            "Restarting child process...");
  EXPECT_EQ(table.at(5678).mode, "HEADLESS_VPS");
  // Exact byte comparison: a mode in other letter case is another mode.
  Launch("HWND=5678\nMODE=headless_vps");
  EXPECT_EQ(ops.processes.size(), 3u);
}

TEST_F(ChildTableTest, StudioRequestRaisesTheRunningStudio) {
  Launch("HWND=0\nMODE=HEADLESS_VPS");  // a studio needs no chart window
  ASSERT_EQ(ops.processes.size(), 1u);
  Launch("HWND=0\nMODE=HEADLESS_VPS");
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.evalWrites, 1);
  EXPECT_EQ(ops.log.back(), "Quorvale AI Studio brought to foreground.");
  // The evaluation request names the studio it is for, so no chart overlay takes it.
  Launch("HWND=4242\nMODE=HEADLESS_VPS");
  Launch("HWND=4242\nMODE=HEADLESS_VPS");
  EXPECT_EQ(ops.evalWrites, 2);
  EXPECT_EQ(ops.evalHandle, 4242u);
}

TEST_F(ChildTableTest, StudioWithoutItsWindowIsRelaunched) {
  Launch("HWND=42\nMODE=HEADLESS_VPS");
  ops.studioWindow = false;
  Launch("HWND=42\nMODE=HEADLESS_VPS\nSYMBOL=XAUUSD");
  ASSERT_EQ(ops.processes.size(), 2u);
  EXPECT_TRUE(ops.processes[0].terminated);
  EXPECT_EQ(ops.evalWrites, 0);
  EXPECT_EQ(ops.log[1],
            "Quorvale AI Studio window not found despite active process. Relaunching child...");
  EXPECT_EQ(ops.log[2],
            "Daemon launching Quorvale child for HWND: 42 Mode: HEADLESS_VPS Symbol: OANDA:XAUUSD");
}

TEST_F(ChildTableTest, EndedChildIsReplacedAndReaped) {
  Launch("HWND=5678");
  Launch("HWND=9001");
  ops.processes[0].state = ChildState::kEnded;
  Launch("HWND=5678");  // found ended by the request itself
  ASSERT_EQ(ops.processes.size(), 3u);
  EXPECT_EQ(table.at(5678).process.id, 2);

  ops.processes[1].state = ChildState::kEnded;
  ReapEndedChildren(table, ops);
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(table.count(9001), 0u);
  // A child that died without its clean shutdown leaves no heartbeat behind.
  EXPECT_EQ(ops.heartbeatDeletes, (std::vector<std::uint64_t>{5678, 9001}));
  // A running child's heartbeat is never touched.
  ReapEndedChildren(table, ops);
  EXPECT_EQ(ops.heartbeatDeletes.size(), 2u);
}

TEST_F(ChildTableTest, ProcessThatCannotBeAskedIsNeitherReplacedNorDropped) {
  // Fault guarded: taking a failed query for "ended" would put a second overlay on a chart
  // whose first one may well be running.
  Launch("HWND=5678");
  ops.processes[0].state = ChildState::kUnknown;
  Launch("HWND=5678");
  EXPECT_EQ(ops.processes.size(), 1u);
  ReapEndedChildren(table, ops);
  EXPECT_EQ(table.size(), 1u);
}

TEST_F(ChildTableTest, ClosedChartIsIgnoredWithItsLine) {
  Launch("HWND=123");
  Launch("HWND=0");
  Launch("HWND=18446744073709551621");  // saturates; would otherwise wrap to the chart 5
  EXPECT_TRUE(ops.processes.empty());
  EXPECT_EQ(ops.log, (std::vector<std::string>{
                         "Ignoring launch request for non-existent HWND: 123",
                         "Ignoring launch request for non-existent HWND: 0",
                         "Ignoring launch request for non-existent HWND: 18446744073709551621"}));
}

TEST_F(ChildTableTest, RequestWithoutDigitsIsDroppedSilently) {
  for (const char* text :
       {"SYMBOL=XAUUSD", "HWND=", "HWND=abc", " HWND=5678", "\x00\xff\x01garbage"}) {
    Launch(text);
  }
  EXPECT_TRUE(ops.processes.empty());
  EXPECT_TRUE(ops.log.empty());
}

TEST_F(ChildTableTest, FailedStartIsLoggedAndLeavesNoRecord) {
  ops.startFails = true;
  Launch("HWND=5678");
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(ops.log.back(), "CreateProcessW failed with error: 2");
  ops.startFails = false;
  Launch("HWND=5678");  // a later request tries again
  EXPECT_EQ(table.size(), 1u);
}

TEST_F(ChildTableTest, ValuesWithBlanksAreQuotedNulIsRefused) {
  Launch("HWND=5678\nSYMBOL=MY SYM\nUSER_ID=a\"b");
  ASSERT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.processes[0].commandLine,
            L"\"C:\\qv\\QuorvaleWorkspace.exe\" 5678 \"MY SYM\" D dark \"a\\\"b\" WORKSTATION");

  Launch(std::string("HWND=9001\nTHEME=da\0rk", 20));
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.log.back(),
            "Ignoring launch request for HWND: 9001 because a value holds a NUL character, which "
            "cannot be passed to the child.");
}

TEST_F(ChildTableTest, OverlayLeftByAnEarlierDaemonIsAdopted) {
  // The previous daemon's overlay still runs in the chart; the new daemon's table is empty.
  ops.processes.push_back({L"earlier"});
  ops.overlaysInCharts[5678] = 0;
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(table.at(5678).process.id, 0);
  EXPECT_EQ(ops.navigations,
            (std::vector<std::pair<std::uint64_t, std::string>>{{5678, "OANDA:XAUUSD"}}));
  // A studio request is never adopted into an overlay.
  ops.overlaysInCharts[7] = 0;
  Launch("HWND=7\nMODE=HEADLESS_VPS");
  EXPECT_EQ(ops.processes.size(), 2u);
}

TEST_F(ChildTableTest, TwoRequestsInOnePassSeeEachOther) {
  Launch("HWND=5678\nSYMBOL=XAUUSD");
  Launch("HWND=5678\nSYMBOL=XAGUSD");
  EXPECT_EQ(ops.processes.size(), 1u);
  EXPECT_EQ(ops.navigations.size(), 1u);
}

// Fault guarded: a child that could not bring its WebView back ended, and nothing started a
// new one, so the chart had no overlay until the trader re-attached the advisor.
TEST_F(ChildTableTest, AChildAskingForARestartIsStartedAgainAsItWasBoundedPerChart) {
  ops.windows.insert(42);
  Launch("HWND=0042\nSYMBOL=XAUUSD\nINTERVAL=60\nTHEME=light\nUSERID=u7");
  ASSERT_EQ(ops.processes.size(), 1u);
  const std::wstring first = ops.processes[0].commandLine;
  for (int i = 1; i <= kMaxChildRestarts; ++i) {
    ops.processes.back().state = ChildState::kEndedForRestart;
    ops.now += 1000;
    ReapEndedChildren(table, ops);
    ASSERT_EQ(ops.processes.size(), static_cast<std::size_t>(i + 1)) << i;
    // The same command line (handle digits as written, values, mapped symbol).
    EXPECT_EQ(ops.processes.back().commandLine, first);
    EXPECT_EQ(table.at(42).process.id, i);
    EXPECT_EQ(
        ops.log.back(),
        "Daemon launching Quorvale child for HWND: 0042 Mode: WORKSTATION Symbol: OANDA:XAUUSD");
  }
  // A child that keeps asking is not started again within ten minutes.
  ops.processes.back().state = ChildState::kEndedForRestart;
  ReapEndedChildren(table, ops);
  EXPECT_EQ(ops.processes.size(), static_cast<std::size_t>(kMaxChildRestarts + 1));
  EXPECT_EQ(table.count(42), 0u);
  EXPECT_EQ(
      ops.log.back(),
      "Quorvale child for HWND: 0042 asked for a restart 4 times within ten minutes; it is not "
      "started again.");
  // A child that simply ended is only reaped.
  Launch("HWND=7");
  ops.processes.back().state = ChildState::kEnded;
  ReapEndedChildren(table, ops);
  EXPECT_EQ(table.count(7), 0u);
  // Its restarts age out: ten minutes later a chart may restart again.
  Launch("HWND=9001");
  for (int i = 0; i < kMaxChildRestarts; ++i) {
    ops.processes.back().state = ChildState::kEndedForRestart;
    ops.now += kChildRestartWindowMs / 2;
    ReapEndedChildren(table, ops);
    EXPECT_EQ(table.count(9001), 1u) << i;
  }
}

// Fault guarded: after a runtime update the old browser lived on under the running children,
// so no chart opened later got an overlay. Children restart one at a time; the next is asked
// only once the one before is back (a new process) or has gone.
TEST_F(ChildTableTest, ARuntimeUpdateRestartsTheChildrenOneByOne) {
  Launch("HWND=5678");
  Launch("HWND=7");
  Launch("HWND=9001");
  RestartRound round;
  BeginRestartRound(table, round, "156.0.1.2", ops);
  EXPECT_EQ(ops.log.back(),
            "A new WebView2 runtime is installed (children ran 156.0.1.2); restarting 3 children "
            "one by one.");
  // Announced by every child: the round does not grow, and says nothing more.
  const std::size_t lines = ops.log.size();
  BeginRestartRound(table, round, "156.0.1.2", ops);
  EXPECT_EQ(ops.log.size(), lines);
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests, (std::vector<std::uint64_t>{7}));
  ops.now += 100;
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests.size(), 1u) << "the first has not come back yet";
  // It restarts: the next is asked.
  ops.processes[1].state = ChildState::kEndedForRestart;
  ops.now += 100;
  ReapEndedChildren(table, ops);
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests, (std::vector<std::uint64_t>{7, 5678}));
  // One that ends for good (its chart closed) counts as done; one that never answers is
  // passed after its time.
  ops.processes[0].state = ChildState::kEnded;
  ReapEndedChildren(table, ops);
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests, (std::vector<std::uint64_t>{7, 5678, 9001}));
  ops.now += kRestartAskTimeoutMs - 1;
  AdvanceRestartRound(table, round, ops);
  EXPECT_NE(ops.log.back(), "Every child was restarted for the runtime update.");
  ops.now += 1;
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.log[ops.log.size() - 2],
            "Quorvale child for HWND: 9001 did not restart for the runtime update; asking the "
            "next one.");
  EXPECT_EQ(ops.log.back(), "Every child was restarted for the runtime update.");
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests.size(), 3u);
  // Fault guarded: a child that announced the update late (after others had restarted)
  // started the round again, and restarted a chart that was already back.
  BeginRestartRound(table, round, "156.0.1.2", ops);
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests.size(), 3u);
  // The next update (announced by the children of the version they now run) is a new round.
  BeginRestartRound(table, round, "157.0.0.1", ops);
  AdvanceRestartRound(table, round, ops);
  EXPECT_EQ(ops.restartRequests.size(), 4u);
}

}  // namespace

// The command line each child is started with.
namespace {

// Our own reading of the documented splitting rules of CommandLineToArgvW, the call the
// child uses. doubledQuoteIsLiteral picks between the two behaviours Windows runtimes have
// shipped for `""` inside a quoted argument; a sound quoting must not depend on either.
// https://learn.microsoft.com/windows/win32/api/shellapi/nf-shellapi-commandlinetoargvw
std::vector<std::wstring> SplitLikeWindows(const std::wstring& line, bool doubledQuoteIsLiteral) {
  std::vector<std::wstring> args;
  std::size_t i = 0;
  // Argument 0 is the program path: quoted up to the next quote without any escapes, or
  // up to the first blank.
  std::wstring program;
  if (i < line.size() && line[i] == L'"') {
    ++i;
    while (i < line.size() && line[i] != L'"') program.push_back(line[i++]);
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t') program.push_back(line[i++]);
  }
  args.push_back(program);
  for (;;) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= line.size()) break;
    std::wstring arg;
    bool quoted = false;
    std::size_t backslashes = 0;
    for (; i < line.size(); ++i) {
      const wchar_t c = line[i];
      if (!quoted && (c == L' ' || c == L'\t')) break;
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      if (c == L'"') {
        arg.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          arg.push_back(L'"');
        } else if (quoted && doubledQuoteIsLiteral && i + 1 < line.size() && line[i + 1] == L'"') {
          arg.push_back(L'"');
          ++i;
        } else {
          quoted = !quoted;
        }
      } else {
        arg.append(backslashes, L'\\');
        arg.push_back(c);
      }
      backslashes = 0;
    }
    arg.append(backslashes, L'\\');
    args.push_back(arg);
  }
  return args;
}

const std::wstring kProgram = L"C:\\Program Files\\Quorvale\\QuorvaleWorkspace.exe";

TEST(ChildCommandLine, PlainValuesStayByteIdentical) {
  // The form the terminal companion has always seen: only the program path is quoted,
  // handle digits as written.
  const auto line = BuildChildCommandLine(
      kProgram, {L"007", L"OANDA:XAUUSD", L"60", L"dark", L"MQL5_MARKET_EDITION", L"WORKSTATION"});
  ASSERT_TRUE(line);
  EXPECT_EQ(*line,
            L"\"" + kProgram + L"\" 007 OANDA:XAUUSD 60 dark MQL5_MARKET_EDITION WORKSTATION");
  // Backslashes without blanks or quotes need no quoting and are literal as they stand.
  EXPECT_EQ(QuoteChildArgument(L"a\\b\\"), L"a\\b\\");
  EXPECT_EQ(QuoteChildArgument(L"caf\u00e9"), L"caf\u00e9");
}

TEST(ChildCommandLine, ValuesCannotAddOrShiftArguments) {
  // Fault guarded: values used to go on the line bare, so a blank split one value in two and
  // every later value moved one place (here the symbol would have made the child a studio).
  const std::vector<std::wstring> values = {L"5678", L"X 1 2 3 HEADLESS_VPS", L"D",
                                            L"dark", L"u\" WORKSTATION \"",   L"WORKSTATION"};
  const auto line = BuildChildCommandLine(kProgram, values);
  ASSERT_TRUE(line);
  for (bool literal : {true, false}) {
    const auto args = SplitLikeWindows(*line, literal);
    ASSERT_EQ(args.size(), 7u);
    EXPECT_EQ(args[0], kProgram);
    EXPECT_EQ(std::vector<std::wstring>(args.begin() + 1, args.end()), values);
  }
}

TEST(ChildCommandLine, EmptyValueKeepsItsPlace) {
  // "THEME=" gives an empty theme; bare it would vanish and the user id would become the
  // theme.
  const auto line = BuildChildCommandLine(kProgram, {L"1", L"S", L"D", L"", L"u", L"M"});
  ASSERT_TRUE(line);
  const auto args = SplitLikeWindows(*line, true);
  ASSERT_EQ(args.size(), 7u);
  EXPECT_EQ(args[4], L"");
  EXPECT_EQ(args[5], L"u");
}

TEST(ChildCommandLine, NulCannotBeCarried) {
  EXPECT_FALSE(BuildChildCommandLine(kProgram, {L"1", std::wstring(L"A\0B", 3)}));
  EXPECT_TRUE(BuildChildCommandLine(kProgram, {L"1", L"AB"}));
}

TEST(ChildCommandLine, RoundTripOfOddValues) {
  std::mt19937 random(4);
  const std::wstring alphabet = L"ab \t\"\\\n\r\x01\x1f\x7f\u00e9:=";
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::wstring> values;
    for (int v = 0; v < 6; ++v) {
      std::wstring value;
      const int length = static_cast<int>(random() % 9);
      for (int i = 0; i < length; ++i) value.push_back(alphabet[random() % alphabet.size()]);
      values.push_back(value);
    }
    const auto line = BuildChildCommandLine(kProgram, values);
    ASSERT_TRUE(line);
    for (bool literal : {true, false}) {
      const auto args = SplitLikeWindows(*line, literal);
      ASSERT_EQ(args.size(), 7u) << round;
      ASSERT_EQ(std::vector<std::wstring>(args.begin() + 1, args.end()), values) << round;
    }
  }
}

}  // namespace
