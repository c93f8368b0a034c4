#pragma once
// KEY=VALUE lines, the shape of most bridge files: launch and capture requests, evaluation
// requests, the order file's added lines, trade results, the outbox and bot state.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// Lines end at line feeds; a line's trailing carriage returns, blanks and tabs are ignored;
// the key is what stands before the first "=" (trailing blanks, tabs and carriage returns
// removed, leading blanks kept so an indented key does not match), the value what follows it
// (leading blanks and tabs removed). Lines without "=" are skipped. The views point into text.
[[nodiscard]] std::vector<KeyValue> ReadKeyValues(std::string_view text);

// The value of the last line with this key (later lines win), or nullopt.
[[nodiscard]] std::optional<std::string_view> LastValueOf(std::string_view text,
                                                          std::string_view key);

// "KEY=value" lines joined by line feeds, in the order given, without a final line feed.
[[nodiscard]] std::string WriteKeyValues(
    const std::vector<std::pair<std::string, std::string>>& lines);
