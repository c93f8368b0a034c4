#include "bridge/key_value.h"

namespace {

bool IsBlankOrTab(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<KeyValue> ReadKeyValues(std::string_view text) {
  std::vector<KeyValue> pairs;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    begin = end + 1;
    // The terminal side writes CRLF as often as LF; blanks at a line's end are invisible
    // in an editor and must not change a value.
    while (!line.empty() && (IsBlankOrTab(line.back()) || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && (IsBlankOrTab(key.back()) || key.back() == '\r')) key.remove_suffix(1);
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && IsBlankOrTab(value.front())) value.remove_prefix(1);
    pairs.push_back({key, value});
  }
  return pairs;
}

std::optional<std::string_view> LastValueOf(std::string_view text, std::string_view key) {
  std::optional<std::string_view> found;
  for (const KeyValue& pair : ReadKeyValues(text)) {
    if (pair.key == key) found = pair.value;
  }
  return found;
}

std::string WriteKeyValues(const std::vector<std::pair<std::string, std::string>>& lines) {
  std::string text;
  for (const auto& [key, value] : lines) {
    if (!text.empty()) text += '\n';
    text += key + "=" + value;
  }
  return text;
}
