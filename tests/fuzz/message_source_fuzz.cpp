// Which documents are the workspace's own. Input: a document's URL. An origin is a
// lower-case http(s) scheme and host with nothing after it; a trusted document has one.
#include "fuzz_support.h"
#include "overlay/message_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url = fuzz::Bytes(data, size);

  const std::string origin = UrlOrigin(url);
  if (!origin.empty()) {
    const std::size_t scheme = origin.rfind("https://", 0) == 0 ? 8 : 7;
    FUZZ_CHECK(origin.rfind("https://", 0) == 0 || origin.rfind("http://", 0) == 0);
    FUZZ_CHECK(origin.size() > scheme);
    FUZZ_CHECK(origin.find_first_of("/?#@\\", scheme) == std::string::npos);
    for (char c : origin) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    FUZZ_CHECK(origin.size() <= url.size());
  }
  if (IsTrustedMessageSource(url)) FUZZ_CHECK(!origin.empty());

  return 0;
}
