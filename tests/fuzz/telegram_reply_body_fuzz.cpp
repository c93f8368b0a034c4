// The sendMessage body for any chat id and text: JSON that reads back as the same values
// (carriage returns dropped). Input: chat id, a line feed, the text.
#include <algorithm>

#include "fuzz_support.h"
#include "host/json.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string chatId = cut == std::string::npos ? "42" : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? input : input.substr(cut + 1);
  auto withoutCr = [](std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
  };
  JsonValue body;
  FUZZ_CHECK(ParseJson(TelegramSendMessageBody(chatId, text), &body));
  FUZZ_CHECK(body.IsObject() && body.names.size() == 3);
  FUZZ_CHECK(body.StringAt("chat_id") == withoutCr(chatId));
  FUZZ_CHECK(body.StringAt("text") == withoutCr(text));
  FUZZ_CHECK(body.StringAt("parse_mode") == "Markdown");
  return 0;
}
