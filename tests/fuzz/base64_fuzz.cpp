// Write → read: any bytes encode to the padded length and decode to themselves, and any
// text the decoder accepts re-encodes to text that decodes to the same bytes.
#include "bridge/base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = fuzz::Bytes(data, size);
  const std::string encoded = Base64Encode(bytes);
  FUZZ_CHECK(encoded.size() == (bytes.size() + 2) / 3 * 4);
  std::string decoded;
  FUZZ_CHECK(Base64Decode(encoded, &decoded));
  FUZZ_CHECK(decoded == bytes);

  std::string fromText;
  if (Base64Decode(bytes, &fromText)) {
    std::string again;
    FUZZ_CHECK(Base64Decode(Base64Encode(fromText), &again));
    FUZZ_CHECK(again == fromText);
  }
  return 0;
}
