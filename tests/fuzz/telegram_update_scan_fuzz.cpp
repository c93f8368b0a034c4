// getUpdates answers from the network. Input: configured chat id, a line feed, the body; the
// configured user is the chat's own (a private chat).
#include "fuzz_support.h"
#include "services/telegram_bot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string chatId = cut == std::string::npos ? "42" : input.substr(0, cut);
  const std::string body = cut == std::string::npos ? input : input.substr(cut + 1);

  const std::vector<TelegramUpdate> updates = ScanTelegramUpdates(body, chatId, chatId);
  std::size_t keys = 0;
  for (std::size_t at = body.find("\"update_id\":"); at != std::string::npos;
       at = body.find("\"update_id\":", at + 1))
    ++keys;
  FUZZ_CHECK(updates.size() == keys);
  for (const TelegramUpdate& u : updates) {
    switch (u.kind) {
      case TelegramUpdate::Kind::kText:
        FUZZ_CHECK(u.chatId == chatId && u.userId == chatId);
        FUZZ_CHECK(u.text.find('"') == std::string::npos);
        FUZZ_CHECK(body.find(u.text) != std::string::npos);
        break;
      case TelegramUpdate::Kind::kNoText:
        FUZZ_CHECK(u.chatId == chatId && u.userId == chatId && u.text.empty());
        break;
      case TelegramUpdate::Kind::kForeignUser:
        FUZZ_CHECK(u.chatId == chatId && (chatId.empty() || u.userId != chatId) && u.text.empty());
        break;
      case TelegramUpdate::Kind::kForeignChat:
        FUZZ_CHECK(u.chatId != chatId && u.text.empty());
        break;
      case TelegramUpdate::Kind::kNoMessage:
        FUZZ_CHECK(u.text.empty());
        break;
    }
  }
  return 0;
}
