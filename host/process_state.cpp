#include "host/process_state.h"

#include <limits>

WorkspaceFolders g_folders;
LaunchValues g_launch;

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

bool IsStudioMode(const std::wstring& mode) {
  return mode == L"HEADLESS_VPS";
}
