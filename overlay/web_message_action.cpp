#include "overlay/web_message_action.h"

#include "bridge/order_files.h"
#include "overlay/order_fate.h"

WebMessageAction DecideWebMessage(const std::string& utf8Message, const std::string& hostSymbol,
                                  std::uint64_t tickCount, const OrderLimits& limits) {
  using Step = WebMessageAction::Step;
  const WebMessage parsed = ClassifyWebMessage(utf8Message);
  WebMessageAction action;
  // Messages whose text after the prefix is the handler's to read.
  const auto carry = [&](Step step) {
    action.step = step;
    action.body = parsed.rest;
    return action;
  };
  switch (parsed.kind) {
    case WebMessageKind::kSync:
      action.symbol = StripExchangePrefix(parsed.rest);
      // The symbol becomes a field of a comma-separated record the terminal reads; a page
      // that sends a comma or a line break in it must not split that record.
      if (!IsSafeRecordField(action.symbol)) {
        action.step = Step::kDropSync;
        return action;
      }
      action.step = Step::kSyncSymbol;
      action.body = action.symbol + "," + std::to_string(tickCount);
      return action;
    case WebMessageKind::kTrade: {
      action.order = OrderFromTradeMessage(parsed.rest, hostSymbol, tickCount);
      // The page's id routes the fate back to the button or card that sent the order; the
      // outbox gives the order its own id (AutoTrader ids excepted).
      action.pageId = action.order.id;
      action.body = OrderRecordLine(action.order);
      action.symbol = action.order.symbol;
      // A size that the page (or a script that drives it) made up must not pass either: the
      // workspace's hard limits hold before the outbox.
      action.reason = IsSafeOrder(action.order) ? OrderLimitBroken(action.order, limits)
                                                : std::string("unusable order record");
      if (!action.reason.empty()) {
        action.step = Step::kRefuseOrder;
        if (!IsValidOrderId(action.pageId)) action.pageId.clear();
        return action;
      }
      action.step = Step::kQueueOrder;
      action.keepPageId = IsKeptPageOrderId(action.pageId);
      return action;
    }
    case WebMessageKind::kHideWindow:
      action.step = Step::kHideWindow;
      return action;
    case WebMessageKind::kClearEvalRequest:
      action.step = Step::kClearEvalRequest;
      return action;
    case WebMessageKind::kAiStatus:
      return carry(Step::kWriteAiStatus);
    case WebMessageKind::kVaultConfig:
      action.step = Step::kRefuseVaultConfig;
      return action;
    case WebMessageKind::kTelegramConfig: {
      const std::optional<TelegramRelay> relay = ParseTelegramRelay(parsed.rest);
      if (!relay) {
        action.step = Step::kIgnore;
        return action;
      }
      action.relay = *relay;
      action.step = relay->removes() ? Step::kRemoveRelay : Step::kAskRelayChange;
      return action;
    }
    case WebMessageKind::kSettingsSet:
      return carry(Step::kStoreSettings);
    case WebMessageKind::kSecretsSet:
      return carry(Step::kStoreSecrets);
    case WebMessageKind::kMigrate:
      return carry(Step::kMigrate);
    case WebMessageKind::kBarClaim:
      return carry(Step::kClaimBar);
    case WebMessageKind::kOther:
      break;
  }
  return carry(Step::kLog);
}
