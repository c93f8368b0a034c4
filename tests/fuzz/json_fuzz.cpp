// The JSON reader and writer: a parsed value written and read back is the same value, written the
// same way; and any bytes quoted as a string read back as those bytes.
#include "fuzz_support.h"
#include "host/json.h"

namespace {

bool Equal(const JsonValue& a, const JsonValue& b) {
  if (a.type != b.type || a.boolean != b.boolean || a.text != b.text || a.names != b.names ||
      a.items.size() != b.items.size())
    return false;
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    if (!Equal(a.items[i], b.items[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  JsonValue value;
  if (ParseJson(text, &value)) {
    const std::string written = WriteJson(value);
    JsonValue again;
    FUZZ_CHECK(ParseJson(written, &again));
    FUZZ_CHECK(Equal(value, again));
    FUZZ_CHECK(WriteJson(again) == written);
  }
  JsonValue quoted;
  FUZZ_CHECK(ParseJson(JsonQuote(text), &quoted));
  FUZZ_CHECK(quoted.IsString() && quoted.text == text);
  return 0;
}
