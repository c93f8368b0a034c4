#include "bridge/text_encoding.h"

TextLayout DetectTextLayout(const unsigned char* bytes, std::size_t n) {
  TextLayout layout;
  if (n > 1 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    layout.encoding = TextEncoding::kUtf16Le;
    layout.offset = 2;
    // An odd trailing byte is not a whole code unit and is dropped.
    layout.length = ((n - 2) / 2) * 2;
    return layout;
  }
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    layout.offset = 3;
    layout.length = n - 3;
    return layout;
  }
  std::size_t zeroAtOdd = 0;
  for (std::size_t i = 1; i < n; i += 2) {
    if (bytes[i] == 0) ++zeroAtOdd;
  }
  if (n >= 4 && zeroAtOdd > n / 4) {
    layout.encoding = TextEncoding::kUtf16Le;
    layout.length = (n / 2) * 2;
    return layout;
  }
  layout.length = n;
  return layout;
}
