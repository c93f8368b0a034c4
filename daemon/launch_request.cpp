#include "daemon/launch_request.h"

#include <limits>

namespace {

bool IsBlankOrTab(char c) {
  return c == ' ' || c == '\t';
}

void ApplyLine(const std::string& line, LaunchRequest* request) {
  std::size_t end = line.size();
  while (end > 0 && (IsBlankOrTab(line[end - 1]) || line[end - 1] == '\r')) --end;
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos || equals >= end) return;

  std::size_t keyEnd = equals;
  while (keyEnd > 0 && IsBlankOrTab(line[keyEnd - 1])) --keyEnd;
  const std::string key = line.substr(0, keyEnd);

  std::size_t valueBegin = equals + 1;
  while (valueBegin < end && IsBlankOrTab(line[valueBegin])) ++valueBegin;
  std::string value = line.substr(valueBegin, end - valueBegin);

  if (key == "HWND") {
    request->handleText = std::move(value);
  } else if (key == "SYMBOL") {
    request->symbol = std::move(value);
  } else if (key == "INTERVAL") {
    request->interval = std::move(value);
  } else if (key == "THEME") {
    request->theme = std::move(value);
  } else if (key == "USER_ID") {
    request->userId = std::move(value);
  } else if (key == "MODE") {
    request->mode = std::move(value);
  }
}

wchar_t AsciiLower(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

bool EqualsIgnoringAsciiCase(const std::wstring& text, std::size_t offset, const wchar_t* word) {
  for (std::size_t i = 0; word[i] != L'\0'; ++i) {
    if (offset + i >= text.size() || AsciiLower(text[offset + i]) != AsciiLower(word[i]))
      return false;
  }
  return true;
}

}  // namespace

LaunchRequest ParseLaunchRequest(const std::string& utf8Body) {
  LaunchRequest request;
  std::size_t begin = 0;
  while (begin <= utf8Body.size()) {
    std::size_t end = utf8Body.find('\n', begin);
    if (end == std::string::npos) end = utf8Body.size();
    ApplyLine(utf8Body.substr(begin, end - begin), &request);
    begin = end + 1;
  }
  return request;
}

std::string HandleDigits(const std::string& handleText) {
  std::string digits;
  for (char c : handleText) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  return digits;
}

std::uint64_t ParseHandleDigits(const std::string& digits) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') continue;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return kMax;
    value = value * 10 + digit;
  }
  return value;
}

bool IsLaunchRequestFileName(const std::wstring& name) {
  static const wchar_t kPrefix[] = L"QV_Launch_";
  static const wchar_t kSuffix[] = L".txt";
  constexpr std::size_t kPrefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
  constexpr std::size_t kSuffixLength = sizeof kSuffix / sizeof kSuffix[0] - 1;
  if (name.size() < kPrefixLength + kSuffixLength) return false;
  return EqualsIgnoringAsciiCase(name, 0, kPrefix) &&
         EqualsIgnoringAsciiCase(name, name.size() - kSuffixLength, kSuffix);
}

bool IsStudioModeName(const std::string& mode) {
  return mode == "HEADLESS_VPS";
}
