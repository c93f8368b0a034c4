// QV_TelegramConfig.json as anyone may have written it: any text gives values only from a
// whole JSON object, and a file written as JSON reads back the token and chat id it holds.
#include "fuzz_support.h"
#include "host/json.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  const TelegramConfig config = ParseTelegramConfig(text);
  JsonValue parsed;
  if (!config.token.empty() || !config.chatId.empty()) {
    FUZZ_CHECK(ParseJson(text, &parsed));
    FUZZ_CHECK(config.token == parsed.StringAt("token"));
    FUZZ_CHECK(config.chatId == parsed.StringAt("chatid"));
  }
  FUZZ_CHECK(config.usable() == (!config.token.empty() && !config.chatId.empty()));

  // Write -> read, with the bytes cut into a token and a chat id at the first comma.
  const std::size_t comma = text.find(',');
  JsonValue file = JsonObject();
  file.Set("token", JsonString(text.substr(0, comma)));
  file.Set("chatid",
           JsonString(comma == std::string::npos ? std::string() : text.substr(comma + 1)));
  const TelegramConfig back = ParseTelegramConfig(WriteJson(file));
  FUZZ_CHECK(back.token == file.StringAt("token"));
  FUZZ_CHECK(back.chatId == file.StringAt("chatid"));
  return 0;
}
