// The encoding decision for any file's bytes: the payload lies inside the file, a UTF-16
// payload is whole code units, and a byte-order mark is never payload. The decoded text
// re-encodes as valid UTF-8.
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

  // Decoded text is UTF-16 that re-encodes as valid UTF-8; valid UTF-8 comes back as it was.
  const std::wstring text = DecodeTextFileBytes(data, size);
  const std::string utf8 = EncodeUtf8(text);
  FUZZ_CHECK(fuzz::IsValidUtf8(utf8));
  for (wchar_t unit : text) FUZZ_CHECK(static_cast<unsigned long>(unit) <= 0xFFFF);
  const std::wstring plain = DecodeUtf8(data, size);
  const std::string again = EncodeUtf8(plain);
  FUZZ_CHECK(DecodeUtf8(reinterpret_cast<const unsigned char*>(again.data()), again.size()) ==
             plain);
  const std::string bytes = fuzz::Bytes(data, size);
  if (fuzz::IsValidUtf8(bytes)) FUZZ_CHECK(again == bytes);
  return 0;
}
