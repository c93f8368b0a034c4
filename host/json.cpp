#include "host/json.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kMaxDepth = 256;

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  bool Document(JsonValue* out) {
    SkipSpace();
    if (!Value(out, 0)) return false;
    SkipSpace();
    return pos_ == s_.size();
  }

 private:
  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
      ++pos_;
  }

  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool Value(JsonValue* out, int depth) {
    if (depth > kMaxDepth || pos_ >= s_.size()) return false;
    const char c = s_[pos_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out->type = JsonValue::Type::String;
      return String(&out->text);
    }
    if (c == 't' || c == 'f') {
      out->type = JsonValue::Type::Bool;
      out->boolean = c == 't';
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      out->type = JsonValue::Type::Null;
      return Literal("null");
    }
    return Number(out);
  }

  bool Digits() {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }

  bool Number(JsonValue* out) {
    const std::size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '0') {
      ++pos_;
    } else if (!Digits()) {
      return false;
    }
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (!Digits()) return false;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (!Digits()) return false;
    }
    out->type = JsonValue::Type::Number;
    out->text.assign(s_.substr(start, pos_ - start));
    return true;
  }

  bool Hex4(std::uint32_t* value) {
    if (pos_ + 4 > s_.size()) return false;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') {
        v |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        v |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        v |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    *value = v;
    return true;
  }

  // What a backslash and e stand for, or 0 where e starts no two-character escape.
  static char ShortEscape(char e) {
    constexpr std::string_view kLetters = "\"\\/bfnrt";
    constexpr char kMeanings[] = "\"\\/\b\f\n\r\t";
    const std::size_t at = kLetters.find(e);
    return at == std::string_view::npos ? 0 : kMeanings[at];
  }

  static void AppendUtf8(std::uint32_t cp, std::string* out) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  bool String(std::string* out) {
    ++pos_;  // opening quote
    out->clear();
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ >= s_.size()) return false;
      const char e = s_[pos_++];
      if (e != 'u') {
        const char plain = ShortEscape(e);
        if (!plain) return false;
        out->push_back(plain);
        continue;
      }
      std::uint32_t cp = 0;
      if (!Hex4(&cp)) return false;
      if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
        const std::size_t save = pos_;
        pos_ += 2;
        std::uint32_t low = 0;
        if (Hex4(&low) && low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else {
          pos_ = save;
        }
      }
      // A lone surrogate (JavaScript strings allow them) has no UTF-8 form.
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
      AppendUtf8(cp, out);
    }
    return false;
  }

  // Arrays and objects differ only in their elements, so the brackets, commas and white
  // space around those are read in one place.
  template <typename Element>
  bool Elements(char close, Element element) {
    ++pos_;
    SkipSpace();
    if (pos_ < s_.size() && s_[pos_] == close) {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (!element()) return false;
      SkipSpace();
      if (pos_ >= s_.size()) return false;
      const char c = s_[pos_++];
      if (c == close) return true;
      if (c != ',') return false;
    }
  }

  bool Array(JsonValue* out, int depth) {
    out->type = JsonValue::Type::Array;
    return Elements(']', [&] {
      out->items.emplace_back();
      return Value(&out->items.back(), depth + 1);
    });
  }

  bool Object(JsonValue* out, int depth) {
    out->type = JsonValue::Type::Object;
    return Elements('}', [&] {
      if (pos_ >= s_.size() || s_[pos_] != '"') return false;
      out->names.emplace_back();
      if (!String(&out->names.back())) return false;
      SkipSpace();
      if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
      SkipSpace();
      out->items.emplace_back();
      return Value(&out->items.back(), depth + 1);
    });
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

void Write(const JsonValue& v, std::string* out) {
  switch (v.type) {
    case JsonValue::Type::Null:
      *out += "null";
      break;
    case JsonValue::Type::Bool:
      *out += v.boolean ? "true" : "false";
      break;
    case JsonValue::Type::Number:
      *out += v.text;
      break;
    case JsonValue::Type::String:
      *out += JsonQuote(v.text);
      break;
    case JsonValue::Type::Array:
      out->push_back('[');
      for (std::size_t i = 0; i < v.items.size(); ++i) {
        if (i) out->push_back(',');
        Write(v.items[i], out);
      }
      out->push_back(']');
      break;
    case JsonValue::Type::Object:
      out->push_back('{');
      for (std::size_t i = 0; i < v.items.size(); ++i) {
        if (i) out->push_back(',');
        *out += JsonQuote(v.names[i]);
        out->push_back(':');
        Write(v.items[i], out);
      }
      out->push_back('}');
      break;
  }
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  if (type != Type::Object) return nullptr;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return &items[i];
  }
  return nullptr;
}

std::string JsonValue::StringAt(std::string_view name) const {
  const JsonValue* v = Find(name);
  return v && v->IsString() ? v->text : std::string();
}

long long JsonValue::IntegerAt(std::string_view name, long long fallback) const {
  const JsonValue* v = Find(name);
  if (!v || v->type != Type::Number) return fallback;
  return std::strtoll(v->text.c_str(), nullptr, 10);
}

JsonValue& JsonValue::Set(std::string_view name, JsonValue value) {
  if (type != Type::Object) *this = JsonObject();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) {
      items[i] = std::move(value);
      return *this;
    }
  }
  names.emplace_back(name);
  items.push_back(std::move(value));
  return *this;
}

JsonValue JsonString(std::string utf8) {
  JsonValue v;
  v.type = JsonValue::Type::String;
  v.text = std::move(utf8);
  return v;
}

JsonValue JsonBool(bool value) {
  JsonValue v;
  v.type = JsonValue::Type::Bool;
  v.boolean = value;
  return v;
}

JsonValue JsonNumber(std::string numberText) {
  JsonValue parsed;
  // Only a number written as JSON writes it back: the text goes out as it is.
  if (!ParseJson(numberText, &parsed) || parsed.type != JsonValue::Type::Number) return JsonValue();
  return parsed;
}

JsonValue JsonObject() {
  JsonValue v;
  v.type = JsonValue::Type::Object;
  return v;
}

bool ParseJson(std::string_view text, JsonValue* out) {
  *out = JsonValue();
  return Reader(text).Document(out);
}

std::string WriteJson(const JsonValue& value) {
  std::string out;
  Write(value, &out);
  return out;
}

std::string JsonQuote(std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size() + 2);
  out.push_back('"');
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      out += "\\u00";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}
