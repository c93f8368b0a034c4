// The encoding decision for any file's bytes: the payload lies inside the file, a UTF-16
// payload is whole code units, and a byte-order mark is never payload.
#include "bridge/text_encoding.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TextLayout layout = DetectTextLayout(data, size);
  FUZZ_CHECK(layout.offset <= size && layout.length <= size - layout.offset);
  if (layout.encoding == TextEncoding::kUtf16Le) {
    FUZZ_CHECK(layout.length % 2 == 0);
    FUZZ_CHECK(size - layout.offset - layout.length <= 1);  // at most an odd last byte
  } else {
    FUZZ_CHECK(layout.offset + layout.length == size);
  }
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) FUZZ_CHECK(layout.offset == 2);
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
    FUZZ_CHECK(layout.offset == 3 && layout.encoding == TextEncoding::kUtf8);
  return 0;
}
