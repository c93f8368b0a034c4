// Chat commands from whoever can type into the chat. Input: host symbol, a line feed, the
// command text. A record is one six-field line with a label for its later reply; a reply
// reaches Telegram as valid JSON.
#include <algorithm>

#include "fuzz_support.h"
#include "host/json.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string hostSymbol = cut == std::string::npos ? "XAUUSD" : input.substr(0, cut);
  const std::string text = cut == std::string::npos ? input : input.substr(cut + 1);

  const CommandOutcome outcome =
      HandleTelegramCommand(text, "987654321", hostSymbol, "QuorvaleBot");
  if (outcome.trade) {
    const std::string record = OrderRecordLine(*outcome.trade);
    const std::vector<std::string> fields = fuzz::Split(record, ',');
    FUZZ_CHECK(fields.size() == 6);
    FUZZ_CHECK(fields[0] == "987654321");
    for (unsigned char c : record) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    FUZZ_CHECK(outcome.order.has_value() && !outcome.reply.has_value());
  }
  if (outcome.reply) {
    JsonValue body;
    FUZZ_CHECK(ParseJson(TelegramSendMessageBody("-100123", *outcome.reply), &body));
    std::string expected = *outcome.reply;
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    FUZZ_CHECK(body.StringAt("text") == expected);
  }
  return 0;
}
