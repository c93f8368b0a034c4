// The decision for one page message. Input: host symbol, a line feed, the message. What
// reaches a file the terminal reads is one clean record; a refused order is reported only
// to an id that could be a real one; every message gets exactly the action its prefix asks.
#include "bridge/order_files.h"
#include "fuzz_support.h"
#include "overlay/web_message_action.h"
#include "services/order_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using Step = WebMessageAction::Step;
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string hostSymbol = cut == std::string::npos ? "XAUUSD" : input.substr(0, cut);
  const std::string message = cut == std::string::npos ? input : input.substr(cut + 1);

  const WebMessageAction action = DecideWebMessage(message, hostSymbol, 4242, OrderLimits());
  switch (action.step) {
    case Step::kSyncSymbol: {
      FUZZ_CHECK(message.rfind("SYNC:", 0) == 0);
      const std::vector<std::string> fields = fuzz::Split(action.body, ',');
      FUZZ_CHECK(fields.size() == 2 && fields[0] == action.symbol && fields[1] == "4242");
      for (unsigned char c : action.body) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
      break;
    }
    case Step::kQueueOrder:
      FUZZ_CHECK(message.rfind("TRADE:", 0) == 0);
      FUZZ_CHECK(fuzz::Split(action.body, ',').size() == 6);
      FUZZ_CHECK(OrderLimitBroken(action.order, OrderLimits()).empty());
      FUZZ_CHECK(action.body == OrderRecordLine(action.order) && action.pageId == action.order.id);
      for (unsigned char c : action.body) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
      break;
    case Step::kRefuseOrder:
      FUZZ_CHECK(message.rfind("TRADE:", 0) == 0);
      FUZZ_CHECK(action.pageId.empty() || IsValidOrderId(action.pageId));
      FUZZ_CHECK(!action.reason.empty());
      break;
    case Step::kAskRelayChange:
      FUZZ_CHECK(message.rfind("TG_CFG:", 0) == 0 && !action.relay.removes());
      break;
    case Step::kRemoveRelay:
      FUZZ_CHECK(message.rfind("TG_CFG:", 0) == 0 && action.relay.removes());
      break;
    case Step::kDropSync:
      FUZZ_CHECK(message.rfind("SYNC:", 0) == 0);
      break;
    case Step::kIgnore:
      FUZZ_CHECK(message.rfind("TG_CFG:", 0) == 0 && action.body.empty());
      break;
    case Step::kStoreSettings:
      FUZZ_CHECK(message == "SETTINGS_SET:" + action.body);
      break;
    case Step::kStoreSecrets:
      FUZZ_CHECK(message == "SECRETS_SET:" + action.body);
      break;
    case Step::kMigrate:
      FUZZ_CHECK(message == "MIGRATE:" + action.body);
      break;
    case Step::kHideWindow:
      FUZZ_CHECK(message == "CLOSE_STUDIO" || message == "CLOSE_WINDOW");
      break;
    case Step::kClearEvalRequest:
      FUZZ_CHECK(message == "CLEAR_EVAL_REQ");
      break;
    case Step::kWriteAiStatus:
      FUZZ_CHECK(message == "AI_STATUS:" + action.body);
      break;
    case Step::kRefuseVaultConfig:
      FUZZ_CHECK(message.rfind("VAULT_CFG:", 0) == 0);
      break;
    case Step::kClaimBar:
      FUZZ_CHECK(message == "AT_CLAIM:" + action.body);
      break;
    case Step::kLog:
      FUZZ_CHECK(action.body == message);
      for (const char* prefix : {"SYNC:", "TRADE:", "AI_STATUS:", "VAULT_CFG:", "TG_CFG:",
                                 "AT_CLAIM:", "SETTINGS_SET:", "SECRETS_SET:", "MIGRATE:"})
        FUZZ_CHECK(message.rfind(prefix, 0) != 0);
      break;
  }
  return 0;
}
