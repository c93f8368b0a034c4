#pragma once
// How a Windows child splits its command line (CommandLineToArgvW), written from Microsoft's
// published rules and independently of the code that builds the line, so a fuzz target can
// check that every value given comes back exactly.
// https://learn.microsoft.com/cpp/c-language/parsing-c-command-line-arguments
#include <string>
#include <vector>

namespace fuzz {

inline bool IsArgBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

inline std::vector<std::wstring> SplitWindowsCommandLine(const std::wstring& line) {
  std::vector<std::wstring> args;
  std::size_t i = 0;
  // The program name: a quoted one runs to the next quote, backslashes and all.
  std::wstring program;
  if (i < line.size() && line[i] == L'"') {
    for (++i; i < line.size() && line[i] != L'"'; ++i) program += line[i];
    if (i < line.size()) ++i;
  } else {
    for (; i < line.size() && !IsArgBlank(line[i]); ++i) program += line[i];
  }
  args.push_back(program);
  for (;;) {
    while (i < line.size() && IsArgBlank(line[i])) ++i;
    if (i >= line.size()) return args;
    std::wstring arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsArgBlank(line[i]))) {
      if (line[i] == L'\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == L'\\') ++n, ++i;
        if (i < line.size() && line[i] == L'"') {
          // 2n backslashes and a quote: n backslashes, the quote delimits; 2n+1: n and a quote.
          arg.append(n / 2, L'\\');
          if (n % 2 == 1) {
            arg += L'"';
            ++i;
          }
        } else {
          arg.append(n, L'\\');
        }
        continue;
      }
      if (line[i] == L'"') {
        ++i;
        if (quoted && i < line.size() && line[i] == L'"') {
          arg += L'"';  // "" inside quotes is one literal quote
          ++i;
        } else {
          quoted = !quoted;
        }
        continue;
      }
      arg += line[i++];
    }
    args.push_back(arg);
  }
}

}  // namespace fuzz
