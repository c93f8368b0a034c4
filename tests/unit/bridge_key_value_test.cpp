#include <gtest/gtest.h>
#include <string>

#include "bridge/key_value.h"

namespace {

std::string Joined(std::string_view text) {
  std::string out;
  for (const KeyValue& line : ReadKeyValues(text)) {
    out += "[" + std::string(line.key) + "|" + std::string(line.value) + "]";
  }
  return out;
}

// The trimming every bridge reader relies on: files come from the terminal with CRLF or LF,
// editors leave blanks at line ends, and an indented key is not the key.
TEST(KeyValueLines, TrimmingAtLineEndsAndAroundTheEqualsSign) {
  EXPECT_EQ(Joined("A=1\r\nB = 2 \t\r\n"), "[A|1][B|2]");
  EXPECT_EQ(Joined(" A=1\n\tB=2"), "[ A|1][\tB|2]") << "leading blanks stay on the key";
  EXPECT_EQ(Joined("A \r=x"), "[A|x]") << "blanks and carriage returns end no key";
  EXPECT_EQ(Joined("URL=https://x/?a=b\n"), "[URL|https://x/?a=b]") << "only the first = splits";
  EXPECT_EQ(Joined("no equals\n\n=v\nK="), "[|v][K|]");
  EXPECT_EQ(Joined(""), "");
}

TEST(KeyValueLines, LaterLinesWin) {
  EXPECT_EQ(LastValueOf("HWND=1\nX=2\nHWND=3\n", "HWND").value_or("-"), "3");
  EXPECT_EQ(LastValueOf("HWND=1\nHWND=\n", "HWND").value_or("-"), "");
  EXPECT_FALSE(LastValueOf("HWNDX=1\n HWND=2", "HWND").has_value());
}

TEST(KeyValueLines, WrittenLinesReadBack) {
  const std::string text = WriteKeyValues({{"ID", "7"}, {"STATUS", "EXECUTED"}, {"END", "1"}});
  EXPECT_EQ(text, "ID=7\nSTATUS=EXECUTED\nEND=1");
  EXPECT_EQ(Joined(text), "[ID|7][STATUS|EXECUTED][END|1]");
}

}  // namespace
