#pragma once
// A small JSON reader and writer: DevTools protocol messages, the page channel's pushes and
// requests, and the workspace's own settings files. Numbers keep their source text, so a
// value read from Chromium is written back exactly as it arrived.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
  enum class Type { Null, Bool, Number, String, Array, Object };
  Type type = Type::Null;
  bool boolean = false;
  std::string text;                // the number's source text, or the decoded UTF-8 string
  std::vector<JsonValue> items;    // array elements, or object member values
  std::vector<std::string> names;  // object member names, parallel to items

  [[nodiscard]] bool IsString() const { return type == Type::String; }
  [[nodiscard]] bool IsObject() const { return type == Type::Object; }
  // Member of an object by name, or null when absent or not an object.
  [[nodiscard]] const JsonValue* Find(std::string_view name) const;
  // The member's string, or an empty string when it is absent or not a string.
  [[nodiscard]] std::string StringAt(std::string_view name) const;
  // The member's number as an integer, or fallback when absent or not a number.
  [[nodiscard]] long long IntegerAt(std::string_view name, long long fallback) const;
  // Sets an object member, replacing one of the same name; makes a non-object an object.
  JsonValue& Set(std::string_view name, JsonValue value);
};

// Values to build messages with.
[[nodiscard]] JsonValue JsonString(std::string utf8);
[[nodiscard]] JsonValue JsonBool(bool value);
// numberText must be a JSON number ("1.50", "-2"); anything else is written as null.
[[nodiscard]] JsonValue JsonNumber(std::string numberText);
[[nodiscard]] JsonValue JsonObject();

// Parses one JSON text (surrounding white space allowed). Nesting deeper than a fixed limit
// fails instead of exhausting the stack on hostile input.
[[nodiscard]] bool ParseJson(std::string_view text, JsonValue* out);

// Compact JSON text of a value, the form JSON.stringify produces.
[[nodiscard]] std::string WriteJson(const JsonValue& value);

// A UTF-8 string as a quoted JSON string literal.
[[nodiscard]] std::string JsonQuote(std::string_view utf8);
