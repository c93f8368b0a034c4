#include "daemon/child_table.h"

namespace {

bool NeedsQuotes(const std::wstring& value) {
  if (value.empty()) return true;  // bare, it would vanish and shift every later argument
  for (wchar_t c : value) {
    if (c == L' ' || c == L'\t' || c == L'"' || c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::wstring QuoteChildArgument(const std::wstring& value) {
  if (!NeedsQuotes(value)) return value;
  // Backslashes are literal unless a double quote follows them; before a quote (an escaped
  // one, or the closing one) each must be doubled.
  // https://learn.microsoft.com/cpp/c-language/parsing-c-command-line-arguments
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : value) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      out.push_back(L'"');
    } else {
      out.append(backslashes, L'\\');
      out.push_back(c);
    }
    backslashes = 0;
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

std::optional<std::wstring> BuildChildCommandLine(const std::wstring& programPath,
                                                  const std::vector<std::wstring>& values) {
  std::wstring line = L"\"" + programPath + L"\"";
  for (const std::wstring& value : values) {
    if (value.find(L'\0') != std::wstring::npos) return std::nullopt;
    line += L' ';
    line += QuoteChildArgument(value);
  }
  return line;
}
