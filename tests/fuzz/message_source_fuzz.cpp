// Which posted messages the host obeys. Input: the posting document's URL, a line feed, the
// secret, a line feed, the posted text. An origin is a lower-case http(s) scheme and host
// with nothing after it; a trusted source has one; a message signed with the secret is
// taken back exactly, and nothing else is taken.
#include "fuzz_support.h"
#include "overlay/message_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = fuzz::Split(fuzz::Bytes(data, size), '\n');
  const std::string& url = parts[0];
  const std::string secret = parts.size() > 1 ? parts[1] : std::string();
  const std::string text = parts.size() > 2 ? parts[2] : std::string();

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

  std::string message;
  if (TakeSignedMessage(text, secret, &message)) {
    FUZZ_CHECK(!secret.empty() && text == secret + ":" + message && !message.empty());
  }
  std::string signedBack;
  if (!secret.empty() && !text.empty()) {
    FUZZ_CHECK(TakeSignedMessage(secret + ":" + text, secret, &signedBack) && signedBack == text);
  }
  FUZZ_CHECK(!TakeSignedMessage(text, std::string(), &signedBack));

  const std::string script = "var s='" + std::string(kPageSecretPlaceholder) + "';" + text;
  FUZZ_CHECK(WithPageSecret(script, secret) == "var s='" + secret + "';" + text);
  return 0;
}
