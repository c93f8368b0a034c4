// Text placed in page scripts as a string literal: the literal holds the text exactly and nothing
// in it can end the string, the line or the script element early.
#include <cstring>

#include "fuzz_support.h"
#include "overlay/page_scripts.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads the literal as a script engine would, keeping the bytes it stands for; false for
// anything that ends or breaks it.
bool ReadLiteral(const std::string& literal, std::string* out) {
  if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') return false;
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    const auto c = static_cast<unsigned char>(literal[i]);
    if (c == '"' || c == '\n' || c == '\r' || c == '<') return false;
    if (c == 0xE2 && i + 2 < literal.size() && literal[i + 1] == '\x80' &&
        (literal[i + 2] == '\xA8' || literal[i + 2] == '\xA9'))
      return false;  // U+2028 / U+2029 end lines in older engines
    if (c != '\\') {
      out->push_back(static_cast<char>(c));
      continue;
    }
    if (++i + 1 >= literal.size()) return false;  // a backslash escaping the closing quote
    const char e = literal[i];
    if (e == 'n')
      out->push_back('\n');
    else if (e == 'r')
      out->push_back('\r');
    else if (e == 't')
      out->push_back('\t');
    else if (e == '"' || e == '\\')
      out->push_back(e);
    else if (e == 'u') {
      if (i + 5 >= literal.size()) return false;
      int unit = 0;
      for (int k = 1; k <= 4; ++k) {
        const int h = HexValue(literal[i + k]);
        if (h < 0) return false;
        unit = unit * 16 + h;
      }
      i += 4;
      if (unit < 0x80)
        out->push_back(static_cast<char>(unit));
      else if (unit == 0x2028)
        *out += "\xE2\x80\xA8";
      else if (unit == 0x2029)
        *out += "\xE2\x80\xA9";
      else
        return false;  // the writer never needs another
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  const std::string literal = JsStringLiteral(text);
  std::string back;
  FUZZ_CHECK(ReadLiteral(literal, &back));
  FUZZ_CHECK(back == text);
  return 0;
}
