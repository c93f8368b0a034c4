#pragma once
#include <cstddef>

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
