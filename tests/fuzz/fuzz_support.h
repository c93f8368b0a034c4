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

namespace fuzz {

// The cut points a prefix law checks for one input: the places a torn write most often
// stops at (either side of each line feed and of each '='), then evenly spread and
// input-seeded points, at most 16 in all. Checking every prefix made the law quadratic and
// the targets too slow to fuzz; the fuzzer's many mutations of one input move the sampled
// points about, so every point is still reached over a campaign.
inline std::vector<std::size_t> CutPoints(const std::string& whole) {
  constexpr std::size_t kMost = 16;
  std::vector<std::size_t> points;
  if (whole.empty()) return points;
  if (whole.size() <= kMost) {
    for (std::size_t n = 0; n < whole.size(); ++n) points.push_back(n);
    return points;
  }
  points.push_back(0);
  for (std::size_t n = 0; n < whole.size() && points.size() < kMost / 2; ++n) {
    if (whole[n] == '\n' || whole[n] == '=') {
      points.push_back(n);
      points.push_back(n + 1 < whole.size() ? n + 1 : n);
    }
  }
  std::uint64_t seed = 1469598103934665603ull;
  for (unsigned char c : whole) seed = (seed ^ c) * 1099511628211ull;
  for (std::size_t k = 1; points.size() < kMost; ++k) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    points.push_back(k % 2 ? whole.size() * k / kMost % whole.size()
                           : static_cast<std::size_t>(seed >> 33) % whole.size());
  }
  return points;
}

// Key=value files have no end mark, so a cut can only change what its cut last line (or a
// later line) says. Calls check(prefix, mentions) for the cut points of the file, where
// mentions(key) tells whether the whole file names that key (letter case ignored) from the
// prefix's last line start on: only such a key may read differently.
template <typename Check>
void ForEachCut(const std::string& whole, Check check) {
  std::string upper = whole;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const std::size_t n : CutPoints(whole)) {
    const std::size_t line = n == 0 ? std::string::npos : whole.rfind('\n', n - 1);
    const std::size_t restStart = line == std::string::npos ? 0 : line + 1;
    check(whole.substr(0, n),
          [&](const char* key) { return upper.find(key, restStart) != std::string::npos; });
  }
}

}  // namespace fuzz

namespace fuzz {

// Well-formed UTF-8 by the table of the Unicode standard, written apart from the decoder.
inline bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    const unsigned b = at(i);
    std::size_t more = 0;
    unsigned low = 0x80, high = 0xBF;
    if (b <= 0x7F) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      more = 1;
    } else if (b == 0xE0) {
      more = 2, low = 0xA0;
    } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
      more = 2;
    } else if (b == 0xED) {
      more = 2, high = 0x9F;
    } else if (b == 0xF0) {
      more = 3, low = 0x90;
    } else if (b >= 0xF1 && b <= 0xF3) {
      more = 3;
    } else if (b == 0xF4) {
      more = 3, high = 0x8F;
    } else {
      return false;
    }
    if (i + more >= text.size()) return false;
    if (at(i + 1) < low || at(i + 1) > high) return false;
    for (std::size_t k = 2; k <= more; ++k) {
      if (at(i + k) < 0x80 || at(i + k) > 0xBF) return false;
    }
    i += more + 1;
  }
  return true;
}

}  // namespace fuzz
