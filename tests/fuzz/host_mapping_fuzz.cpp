// Page requests for the virtual data host: whatever the address, the file it names stays
// inside the mapped folder.
#include "fuzz_support.h"
#include "host_mapping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  RequestUrl url;
  if (ParseRequestUrl(text, &url)) {
    FUZZ_CHECK(url.scheme == "http" || url.scheme == "https");
    FUZZ_CHECK(url.host == AsciiLower(url.host));
    FUZZ_CHECK(url.host.find('/') == std::string::npos);
    FUZZ_CHECK(!url.path.empty() && url.path[0] == '/');
  }
  for (const std::string& path : {text, url.path}) {
    const std::optional<std::string> file = MappedFilePath(path);
    if (!file) continue;
    FUZZ_CHECK(!file->empty() && file->front() != '\\');
    FUZZ_CHECK(file->find_first_of(":/*?\"<>|") == std::string::npos);
    for (const std::string& segment : fuzz::Split(*file, '\\')) {
      FUZZ_CHECK(!segment.empty());
      FUZZ_CHECK(segment.find_first_not_of(". ") != std::string::npos);
      for (unsigned char c : segment) FUZZ_CHECK(c >= 0x20);
    }
    FUZZ_CHECK(!ContentTypeForPath(*file).empty());
  }
  std::string decoded;
  if (PercentDecode(text, &decoded)) FUZZ_CHECK(decoded.size() <= text.size());
  for (const auto& [host, folder] : ParseExtraHosts(fuzz::Wide16(text))) {
    FUZZ_CHECK(!host.empty() && !folder.empty());
    for (wchar_t c : host) FUZZ_CHECK(!(c >= L'A' && c <= L'Z'));
  }
  return 0;
}
