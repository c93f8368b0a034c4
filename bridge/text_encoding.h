#pragma once
#include <cstddef>
#include <string>

// How the bytes of a text file are to be read: which decoder, and which byte range.
enum class TextEncoding { kUtf8, kUtf16Le };

struct TextLayout {
  TextEncoding encoding = TextEncoding::kUtf8;
  std::size_t offset = 0;  // first payload byte (after any byte-order mark)
  std::size_t length = 0;  // payload length in bytes
};

// Decides the encoding of a file's bytes: UTF-16 LE with a mark, UTF-8 with a mark,
// UTF-16 LE without a mark (many zero bytes at odd offsets), else UTF-8.
[[nodiscard]] TextLayout DetectTextLayout(const unsigned char* bytes, std::size_t n);

// Text in memory is UTF-16 code units in a std::wstring (as Windows holds it; on other
// systems the units are stored in wider characters all the same).
//
// UTF-8 bytes as UTF-16 units. Each ill-formed sequence (a stray continuation byte, a
// truncated sequence, an overlong form, an encoded surrogate, a value past U+10FFFF)
// becomes one U+FFFD for its longest valid start, as Windows' own decoder does.
[[nodiscard]] std::wstring DecodeUtf8(const unsigned char* bytes, std::size_t n);

// UTF-16 units as UTF-8; a lone surrogate becomes U+FFFD, so the result is always valid
// UTF-8.
[[nodiscard]] std::string EncodeUtf8(const std::wstring& text);

// A whole file's bytes as text, in the encoding DetectTextLayout decides.
[[nodiscard]] std::wstring DecodeTextFileBytes(const unsigned char* bytes, std::size_t n);
