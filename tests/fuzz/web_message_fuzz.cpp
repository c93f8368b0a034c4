// The page's messages: classification, the trade record with its safety check and the
// Telegram configuration the worker reads back. Input: host symbol, a line feed, the message.
#include "fuzz_support.h"
#include "overlay/web_message.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string hostSymbol = cut == std::string::npos ? "XAUUSD" : input.substr(0, cut);
  const std::string message = cut == std::string::npos ? input : input.substr(cut + 1);

  const WebMessage parsed = ClassifyWebMessage(message);
  if (parsed.kind == WebMessageKind::kOther) FUZZ_CHECK(parsed.rest == message);
  if (parsed.kind != WebMessageKind::kOther && !parsed.rest.empty())
    FUZZ_CHECK(
        message.size() > parsed.rest.size() &&
        message.compare(message.size() - parsed.rest.size(), std::string::npos, parsed.rest) == 0);

  const TradeRecord record = BuildTradeRecord(parsed.rest, hostSymbol, 1234567);
  if (IsSafeTradeRecord(record)) {
    const std::vector<std::string> fields = fuzz::Split(record.line, ',');
    FUZZ_CHECK(fields.size() == 6);
    FUZZ_CHECK(fields[3] == record.symbol);
    for (unsigned char c : record.line) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
  }
  const std::string printable = PrintableForLog(record.line);
  for (unsigned char c : printable) FUZZ_CHECK(c >= 0x20 && c != 0x7F);

  // What the handler writes for TG_CFG: is what the worker then reads.
  std::string json;
  if (BuildTelegramConfigJson(parsed.rest, &json)) {
    const std::size_t comma = parsed.rest.find(',');
    const TelegramConfig config = ParseTelegramConfig(json);
    FUZZ_CHECK(config.token == parsed.rest.substr(0, comma));
    FUZZ_CHECK(config.chatId == parsed.rest.substr(comma + 1));
  }
  return 0;
}
