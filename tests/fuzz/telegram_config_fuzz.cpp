// QV_TelegramConfig.json as anyone may have written it.
#include "fuzz_support.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  const TelegramConfig config = ParseTelegramConfig(text);
  for (const auto& [key, value] :
       {std::pair<std::string, const std::string*>{"\"token\":\"", &config.token},
        {"\"chatid\":\"", &config.chatId}}) {
    FUZZ_CHECK(value->find('"') == std::string::npos);
    const std::size_t at = text.find(key);
    if (at == std::string::npos) {
      FUZZ_CHECK(value->empty());
    } else if (!value->empty()) {
      FUZZ_CHECK(text.compare(at + key.size(), value->size(), *value) == 0);
    }
  }
  FUZZ_CHECK(config.usable() == (!config.token.empty() && !config.chatId.empty()));
  return 0;
}
