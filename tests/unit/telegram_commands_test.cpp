#include <algorithm>
#include <gtest/gtest.h>

#include "host/json.h"
#include "services/telegram_bot.h"
#include "services/telegram_pass.h"

namespace {

const std::string kTick = "123456";

CommandOutcome Command(const std::string& text, const std::string& bot = "QuorvaleBot") {
  return HandleTelegramCommand(text, kTick, "NASDAQ:NDX", bot);
}

TEST(TelegramCommands, RecordsAndRepliesOfEachCommand) {
  // No reply is fixed before the order's fate is known.
  const auto sent = [](const CommandOutcome& o) {
    EXPECT_FALSE(o.reply.has_value());
    return o.order ? TelegramOrderReplyText(*o.order, TelegramOrderFate::kSent, "") : "";
  };
  const CommandOutcome closeAll = Command("/closeall");
  EXPECT_EQ(OrderRecordLine(*closeAll.trade), "123456,CLOSE,0.10,ALL,0,0");
  EXPECT_EQ(sent(closeAll), "\U0001F6D1 *CLOSE ALL:* Close all positions sent to terminal.");

  const CommandOutcome be = Command("/be");
  EXPECT_EQ(OrderRecordLine(*be.trade), "123456,BE_PLUS,0.10,CURRENT,0,0");
  EXPECT_EQ(sent(be), "\u26A1 *BREAK-EVEN:* SL to break-even +2 pips sent to terminal.");

  const CommandOutcome buy = Command("/buy");
  EXPECT_EQ(OrderRecordLine(*buy.trade), "123456,BUY,R:1.0,CURRENT,0,0");
  EXPECT_EQ(sent(buy), "\U0001F7E2 *REMOTE BUY:* CURRENT (R:1.0) sent to terminal.");

  const CommandOutcome sell = Command("/sell EURUSD 0.5 now");
  EXPECT_EQ(OrderRecordLine(*sell.trade), "123456,SELL,0.5,EURUSD,0,0");
  EXPECT_EQ(sent(sell), "\U0001F534 *REMOTE SELL:* EURUSD (0.5) sent to terminal.");
}

// Prefix matching ran "/beware" as break-even and "/sellall" as a sell: a command is the
// whole first word, "@" and this bot's name allowed.
TEST(TelegramCommands, OnlyWholeCommandWordsCount) {
  for (const char* ignored : {"/bet", "/beware", "/sellall", "/buyXAUUSD", "/closeallnow",
                              "/helpme", "/close", " /buy", "buy", "/BUY", "", "hello", "/start",
                              "/status@", "/status@OtherBot", "/buy@OtherBot XAUUSD 0.5"}) {
    const CommandOutcome none = Command(ignored);
    EXPECT_FALSE(none.trade.has_value()) << ignored;
    EXPECT_FALSE(none.reply.has_value()) << ignored;
    EXPECT_FALSE(none.order.has_value()) << ignored;
  }
  EXPECT_EQ(Command("/status@QuorvaleBot").reply, TelegramStatusText("NASDAQ:NDX"));
  EXPECT_EQ(Command("/status@quorvalebot").reply, TelegramStatusText("NASDAQ:NDX"));
  EXPECT_FALSE(Command("/status@QuorvaleBot", "").reply.has_value())
      << "a bot whose name is unknown answers only plain commands";
  EXPECT_EQ(OrderRecordLine(*Command("/be now").trade), "123456,BE_PLUS,0.10,CURRENT,0,0");
  EXPECT_EQ(OrderRecordLine(*Command("/closeall\n").trade), "123456,CLOSE,0.10,ALL,0,0");
  EXPECT_EQ(Command("/help").reply, TelegramHelpText());
  EXPECT_FALSE(Command("/status").trade.has_value());
  EXPECT_FALSE(Command("/help").trade.has_value());
}

TEST(TelegramCommands, OrderWordsSplitAtAnyWhiteSpace) {
  EXPECT_EQ(OrderRecordLine(*Command("/buy\tXAUUSD\r\n R:2.5").trade),
            "123456,BUY,R:2.5,XAUUSD,0,0");
  EXPECT_EQ(OrderRecordLine(*Command("/sell   GBPUSD").trade), "123456,SELL,R:1.0,GBPUSD,0,0");
  EXPECT_EQ(OrderRecordLine(*Command("/buy@QuorvaleBot US30 0.20").trade),
            "123456,BUY,0.20,US30,0,0");
}

// A chat message could otherwise add fields (comma) or whole records (line break) to the
// trade-signal file: refused, nothing written, the trader told why.
TEST(TelegramCommands, WordsThatWouldBreakTheRecordAreRefused) {
  for (const char* text : {"/buy EUR,USD", "/sell EURUSD 1,0", "/buy EURUSD\x01", "/sell X\x7f",
                           "/buy ,,,,,, R:1.0", "/sell EURUSD R:1.0,SELL"}) {
    const CommandOutcome outcome = Command(text);
    EXPECT_FALSE(outcome.trade.has_value()) << text;
    EXPECT_EQ(outcome.reply, TelegramRejectedWordText()) << text;
  }
  // Backslash escapes stay text and cannot become separators.
  EXPECT_EQ(OrderRecordLine(*Command("/buy EUR\\u002cUSD").trade),
            "123456,BUY,R:1.0,EUR\\u002cUSD,0,0");
  const CommandOutcome ok = Command("/buy EURUSD R:1.0");
  ASSERT_TRUE(ok.trade.has_value());
  const std::string line = OrderRecordLine(*ok.trade);
  EXPECT_EQ(std::count(line.begin(), line.end(), ','), 5);
}

TEST(TelegramReplies, EachFateAndEscapedValues) {
  const CommandOutcome buy = Command("/buy GER_40 R:*2");
  ASSERT_TRUE(buy.order.has_value());
  EXPECT_EQ(TelegramOrderReplyText(*buy.order, TelegramOrderFate::kExecuted, "100001"),
            "\U0001F7E2 *REMOTE BUY:* GER\\_40 (R:\\*2) executed, ticket 100001.");
  EXPECT_EQ(TelegramOrderReplyText(*buy.order, TelegramOrderFate::kRejected, "[10019] no_money"),
            "\U0001F7E2 *REMOTE BUY:* GER\\_40 (R:\\*2) rejected: \\[10019] no\\_money.");
  EXPECT_EQ(TelegramOrderReplyText(*buy.order, TelegramOrderFate::kUnknown, "the terminal stopped"),
            "\U0001F7E2 *REMOTE BUY:* GER\\_40 (R:\\*2) unknown: check your positions (the "
            "terminal stopped).");
  EXPECT_EQ(
      TelegramOrderReplyText(*buy.order, TelegramOrderFate::kNotSent,
                             "Windows error 32 (sharing violation)"),
      "\U0001F7E2 *REMOTE BUY:* GER\\_40 (R:\\*2) NOT sent: Windows error 32 (sharing violation).");
  EXPECT_EQ(EscapeTelegramMarkdown("a_b*c`d[e]f"), "a\\_b\\*c\\`d\\[e]f");
  EXPECT_EQ(
      TelegramExpiredText("/closeall_now"),
      "\u23F1 *COMMAND EXPIRED:* /closeall\\_now is older than 90 seconds and was not executed.");
}

TEST(TelegramAge, OldOrUndatedCommandsAreRefused) {
  const std::int64_t now = 1765000000;
  EXPECT_FALSE(IsTelegramCommandTooOld(now, now));
  EXPECT_FALSE(IsTelegramCommandTooOld(now - 90, now));
  EXPECT_TRUE(IsTelegramCommandTooOld(now - 91, now));
  EXPECT_TRUE(IsTelegramCommandTooOld(now - 4 * 3600, now)) << "a /closeall from hours ago";
  EXPECT_TRUE(IsTelegramCommandTooOld(0, now));
  EXPECT_FALSE(IsTelegramCommandTooOld(now + 5, now)) << "a clock a little behind Telegram's";
}

TEST(TelegramState, PerTokenFileAndWholeStateOnly) {
  EXPECT_EQ(TelegramStateFileName("123:TEST"), TelegramStateFileName("123:TEST"));
  EXPECT_NE(TelegramStateFileName("123:TEST"), TelegramStateFileName("124:TEST"))
      << "a new token starts from its own offset";
  EXPECT_EQ(TelegramStateFileName("123:TEST").find(L"123"), std::wstring::npos)
      << "the token is not in the name";
  const TelegramBotState state{778, 777};
  const auto back = ParseTelegramState(TelegramStateBody(state));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->offset, 778);
  EXPECT_EQ(back->pending, 777);
  EXPECT_EQ(ParseTelegramState("OFFSET=5\r\n")->pending, 0);
  for (const char* bad : {"", "OFFSET=", "OFFSET=-3", "PENDING=4", "offset=5", "OFFSET=5x",
                          "OFFSET=9223372036854775808", "OFFSET=9999999999999999999"}) {
    EXPECT_FALSE(ParseTelegramState(bad).has_value()) << bad;
  }
  // Nineteen digits past the signed range used to throw out of the bot thread.
  const auto huge = ParseTelegramState("OFFSET=9223372036854775807\nPENDING=9999999999999999999");
  ASSERT_TRUE(huge.has_value());
  EXPECT_EQ(huge->offset, 9223372036854775807);
  EXPECT_EQ(huge->pending, 0) << "an unreadable PENDING is none";
}

TEST(TelegramReplies, StatusAndHelpTexts) {
  EXPECT_EQ(
      TelegramStatusText("XAUUSD"),
      "\U0001F3DB\uFE0F *QUORVALE WORKSPACE SENTINEL*\n\n\u2022 Status: *Active & Protected*\n"
      "\u2022 Symbol: *XAUUSD*\n\u2022 Constitution: *Daily Loss Cap Enforced*\n"
      "\u2022 Liveness Failsafe: *OK*");
  EXPECT_EQ(TelegramHelpText(),
            "\U0001F916 *QUORVALE TELEGRAM COMMANDS*\n\n"
            "\u2022 `/status` - Live Sentinel & account status\n"
            "\u2022 `/closeall` - Emergency close all positions\n"
            "\u2022 `/be` - Move SL to BE+2 pips\n"
            "\u2022 `/buy <sym> <risk>` - Remote BUY\n"
            "\u2022 `/sell <sym> <risk>` - Remote SELL");
}

TEST(TelegramEscaping, EveryControlByteBecomesAnEscape) {
  const auto text = [](const std::string& raw) {
    const std::string body = TelegramSendMessageBody("1", raw);
    const std::string head = "{\"chat_id\":\"1\",\"text\":\"";
    const std::string tail = "\",\"parse_mode\":\"Markdown\"}";
    EXPECT_EQ(body.substr(0, head.size()), head);
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
    return body.substr(head.size(), body.size() - head.size() - tail.size());
  };
  EXPECT_EQ(text("a\"b\\c\nd\re\tf"), "a\\\"b\\\\c\\nde\\tf");
  EXPECT_EQ(text(std::string("\x00\x01\x1f\x7f", 4)), "\\u0000\\u0001\\u001f\x7f");
  EXPECT_EQ(text("\u2022 \U0001F3AF"), "\u2022 \U0001F3AF") << "UTF-8 unchanged";
  // No raw control byte may survive in any body, and the body reads back as the text
  // without its carriage returns.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string body = TelegramSendMessageBody("1", all);
  EXPECT_TRUE(std::none_of(body.begin(), body.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
  JsonValue parsed;
  ASSERT_TRUE(ParseJson(body, &parsed));
  std::string withoutCr = all;
  withoutCr.erase(withoutCr.find('\r'), 1);
  EXPECT_EQ(parsed.StringAt("text"), withoutCr);
}

TEST(TelegramEscaping, SendMessageBodyIsMarkdownJson) {
  EXPECT_EQ(TelegramSendMessageBody("-100", "*Hi* \"you\"\n"),
            "{\"chat_id\":\"-100\",\"text\":\"*Hi* \\\"you\\\"\\n\",\"parse_mode\":\"Markdown\"}");
  // A damaged chat id cannot break out of its string either.
  EXPECT_EQ(TelegramSendMessageBody("4\\2", "x"),
            "{\"chat_id\":\"4\\\\2\",\"text\":\"x\",\"parse_mode\":\"Markdown\"}");
}

TEST(TelegramPass, EachUpdateIsRecordedBeforeItRunsAndRunsOnce) {
  using Action = TelegramStep::Action;
  constexpr std::int64_t kNow = 1765000000;
  TelegramUpdate text;
  text.updateId = 10;
  text.kind = TelegramUpdate::Kind::kText;
  text.chatId = "42";
  text.date = kNow;
  text.text = "/sell EURUSD 0.5";
  const TelegramStep order = DecideTelegramUpdate(text, {10, 0}, "XAUUSD", kNow, "QuorvaleBot");
  EXPECT_EQ(order.action, Action::kSendOrder);
  EXPECT_EQ(order.recorded.offset, 11);
  EXPECT_EQ(order.recorded.pending, 10);
  EXPECT_EQ(order.done.offset, 11);
  EXPECT_EQ(order.done.pending, 0);
  EXPECT_TRUE(order.tellWhenNotRecorded);
  EXPECT_EQ(OrderRecordLine(*order.outcome.trade), "0,SELL,0.5,EURUSD,0,0");
  // Confirmed by an earlier poller: nothing is recorded or run.
  EXPECT_EQ(DecideTelegramUpdate(text, {11, 0}, "XAUUSD", kNow, "QuorvaleBot").action,
            Action::kSkip);

  text.date = kNow - kTelegramCommandMaxAgeSeconds - 1;
  const TelegramStep old = DecideTelegramUpdate(text, {0, 0}, "XAUUSD", kNow, "QuorvaleBot");
  EXPECT_EQ(old.action, Action::kReplyExpired);
  EXPECT_EQ(old.reply, TelegramExpiredText(text.text));
  text.date = kNow;
  text.text = "/status";
  const TelegramStep status = DecideTelegramUpdate(text, {0, 0}, "XAUUSD", kNow, "QuorvaleBot");
  EXPECT_EQ(status.action, Action::kReply);
  EXPECT_EQ(status.reply, TelegramStatusText("XAUUSD"));
  // An old message that is no command is only recorded: nobody is told it expired.
  text.text = "hello";
  text.date = 0;
  EXPECT_EQ(DecideTelegramUpdate(text, {0, 0}, "XAUUSD", kNow, "QuorvaleBot").action,
            Action::kNone);

  // No offset lies past the top id, so such an update would come back on every poll.
  TelegramUpdate top = text;
  top.text = "/closeall";
  top.date = kNow;
  top.updateId = ParseUpdateId("99999999999999999999");
  EXPECT_EQ(DecideTelegramUpdate(top, {0, 0}, "XAUUSD", kNow, "QuorvaleBot").action, Action::kNone);

  TelegramUpdate foreign = text;
  foreign.kind = TelegramUpdate::Kind::kForeignChat;
  const TelegramStep rejected =
      DecideTelegramUpdate(foreign, {0, 0}, "XAUUSD", kNow, "QuorvaleBot");
  EXPECT_EQ(rejected.action, Action::kRejectForeign);
  EXPECT_FALSE(rejected.tellWhenNotRecorded);
  EXPECT_EQ(rejected.recorded.pending, 10);
}

}  // namespace
