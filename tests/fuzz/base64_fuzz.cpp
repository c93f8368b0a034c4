// Both base64 writers (the visual journal's and the runtime's) decode to their input, and
// any text the runtime's decoder accepts re-encodes to bytes that decode the same.
#include "base64.h"
#include "fuzz_support.h"
#include "services/visual_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes = fuzz::Bytes(data, size);
  const std::string journal = Base64Encode(bytes);
  const std::string runtime = Base64Encode(std::string_view(bytes));
  FUZZ_CHECK(journal == runtime);
  FUZZ_CHECK(journal.size() == (bytes.size() + 2) / 3 * 4);
  std::string decoded;
  FUZZ_CHECK(Base64Decode(journal, &decoded));
  FUZZ_CHECK(decoded == bytes);

  std::string fromText;
  if (Base64Decode(bytes, &fromText)) {
    std::string again;
    FUZZ_CHECK(Base64Decode(Base64Encode(fromText), &again));
    FUZZ_CHECK(again == fromText);
  }
  return 0;
}
