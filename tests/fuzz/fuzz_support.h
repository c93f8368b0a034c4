#pragma once
// Shared by every fuzz target: a law check that stops the run with the broken law named, and
// the few ways the targets cut one input into the values of their functions.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// abort() is what both libFuzzer and the replay driver report as a finding.
#define FUZZ_CHECK(cond)                                                                 \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "fuzz law broken: %s at %s:%d\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace fuzz {

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// Splits at every separator byte; the last part takes the rest.
inline std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    if (at == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

// Wide text as Windows holds it (UTF-16 code units) from readable seed bytes: a byte is the
// code unit of that value, except 0xFF, which takes the next two bytes (big-endian) as the
// code unit, so any unit up to 0xFFFF can be written.
inline std::wstring Wide16(const std::string& bytes) {
  std::wstring out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == 0xFF && i + 2 < bytes.size()) {
      out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                         static_cast<unsigned char>(bytes[i + 2])));
      i += 2;
    } else {
      out.push_back(static_cast<wchar_t>(b));
    }
  }
  return out;
}

// Byte-for-unit conversions for harnesses that need ToWide/ToUtf8 but only ASCII meaning.
inline std::wstring Latin1ToWide(const std::string& bytes) {
  std::wstring out;
  for (char c : bytes) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}
inline std::string WideToLatin1(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(static_cast<char>(c & 0xFF));
  return out;
}

}  // namespace fuzz
