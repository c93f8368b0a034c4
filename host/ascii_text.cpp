#include "host/ascii_text.h"

#include <limits>

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

wchar_t AsciiLower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::string AsciiLowered(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

std::wstring AsciiLowered(std::wstring text) {
  for (wchar_t& c : text) c = AsciiLower(c);
  return text;
}

namespace {

template <typename View>
bool SameNoCase(View a, View b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return SameNoCase(a, b);
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return SameNoCase(a, b);
}

bool StartsAndEndsWithNoCase(std::wstring_view name, std::wstring_view prefix,
                             std::wstring_view suffix) {
  return name.size() >= prefix.size() + suffix.size() &&
         EqualsNoCase(name.substr(0, prefix.size()), prefix) &&
         EqualsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

bool ParseDecimal(std::string_view text, std::uint64_t* value) {
  if (text.empty()) return false;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (v > (kMax - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

std::string DigitsOf(std::string_view text) {
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  return digits;
}
