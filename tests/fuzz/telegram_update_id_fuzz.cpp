// Update ids, read against a reference in wider arithmetic.
#include <limits>

#include "fuzz_support.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  __int128 value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<__int128>(kMax) + 1) value = static_cast<__int128>(kMax) + 1;
  }
  if (negative) value = -value;
  const std::int64_t expected =
      value > kMax ? kMax : (value < kMin ? kMin : static_cast<std::int64_t>(value));
  const std::int64_t parsed = ParseUpdateId(text);
  FUZZ_CHECK(parsed == expected);
  const std::int64_t next = NextOffset(parsed);
  FUZZ_CHECK(parsed == kMax ? next == kMax : next == parsed + 1);
  return 0;
}
