// The page's messages: classification, the trade record with its safety check and the
// Telegram relay the host would ask the trader about. Input: host symbol, a line feed, the
// message.
#include "fuzz_support.h"
#include "overlay/web_message.h"
#include "services/workspace_secrets.h"

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

  const Order order = OrderFromTradeMessage(parsed.rest, hostSymbol, 1234567);
  const std::string line = OrderRecordLine(order);
  if (IsSafeOrder(order)) {
    const std::vector<std::string> fields = fuzz::Split(line, ',');
    FUZZ_CHECK(fields.size() == 6);
    FUZZ_CHECK(fields[3] == order.symbol);
    for (unsigned char c : line) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    // The record the slot holds reads back as the same six fields.
    const std::optional<Order> back = SplitOrderRecord(line);
    FUZZ_CHECK(back && back->id == order.id && back->action == order.action &&
               back->size == order.size && back->symbol == order.symbol && back->sl == order.sl &&
               back->tp == order.tp);
  }
  const std::string printable = PrintableForLog(line);
  for (unsigned char c : printable) FUZZ_CHECK(c >= 0x20 && c != 0x7F);

  // A relay the host would show the trader: its values can travel in a URL, a reply body and
  // the stored JSON unchanged, and a private chat is its own user.
  if (const std::optional<TelegramRelay> relay = ParseTelegramRelay(parsed.rest)) {
    if (!relay->removes()) {
      FUZZ_CHECK(IsUsableSecretValue(relay->token) && relay->token.find(',') == std::string::npos);
      FUZZ_CHECK(!relay->chatId.empty() && IsUsableSecretValue(relay->chatId));
      FUZZ_CHECK(relay->userId.empty() || IsUsableSecretValue(relay->userId));
      FUZZ_CHECK(relay->chatId[0] == '-' || relay->userId.size() > 0);
    }
  }
  return 0;
}
