#include <gtest/gtest.h>

#include <random>

#include "daemon/child_command_line.h"

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
