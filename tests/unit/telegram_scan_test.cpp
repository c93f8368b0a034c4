#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

#include "services/telegram_bot.h"

namespace {

using Kind = TelegramUpdate::Kind;

std::string TextUpdate(std::int64_t id, const std::string& chat, const std::string& text) {
  return "{\"update_id\":" + std::to_string(id) +
         ",\n\"message\":{\"message_id\":9,\"from\":{\"id\":555,\"is_bot\":false},\"chat\":{"
         "\"id\":" +
         chat + ",\"type\":\"private\"},\"date\":1,\"text\":\"" + text + "\"}}";
}

// The configured user of every scan below: the sender of TextUpdate.
constexpr const char* kUser = "555";

std::vector<TelegramUpdate> Scan(const std::string& body, const std::string& chat) {
  return ScanTelegramUpdates(body, chat, kUser);
}

std::string Answer(const std::string& updates) {
  return "{\"ok\":true,\"result\":[" + updates + "]}";
}

std::int64_t MaxId(const std::vector<TelegramUpdate>& updates) {
  std::int64_t last = 0;
  for (const auto& u : updates) last = std::max(last, u.updateId);
  return last;
}

TEST(TelegramConfigFile, ReadsBothMembersInEitherOrder) {
  const TelegramConfig written = ParseTelegramConfig("{\"token\":\"123:ABC\",\"chatid\":\"-100\"}");
  EXPECT_EQ(written.token, "123:ABC");
  EXPECT_EQ(written.chatId, "-100");
  EXPECT_TRUE(written.usable());

  const TelegramConfig reordered =
      ParseTelegramConfig("{\"chatid\":\"42\", \"other\":{\"token\":\"x\"}, \"token\":\"t\"}");
  EXPECT_EQ(reordered.token, "t") << "a nested member of the same name is not the token";
  EXPECT_EQ(reordered.chatId, "42");
  EXPECT_EQ(ParseTelegramConfig("{\"token\": \"a\\\"b\", \"chatid\" : \"1\"}\r\n").token, "a\"b")
      << "blanks around the colon and an escaped quote read as JSON does";
}

TEST(TelegramConfigFile, MissingKeyOrCutFileLeavesTheValueEmpty) {
  EXPECT_FALSE(ParseTelegramConfig("{\"token\":\"abc\"}").usable());
  EXPECT_EQ(ParseTelegramConfig("{\"chatid\":\"1\",\"token\":\"abc").token, "");
  EXPECT_EQ(ParseTelegramConfig("{\"token\":\"abc\",\"chatid\":\"12").chatId, "")
      << "no closing quote";
  EXPECT_EQ(ParseTelegramConfig("junk {\"token\":\"abc\",\"chatid\":\"1\"}").token, "");
  EXPECT_EQ(ParseTelegramConfig("{\"token\":5,\"chatid\":\"1\"}").token, "");
  EXPECT_FALSE(ParseTelegramConfig("{\"token\":\"\",\"chatid\":\"1\"}").usable());
}

TEST(TelegramUpdateScan, OffsetBecomesTheLargestIdEvenOutOfOrder) {
  const std::string body =
      Answer(TextUpdate(17, "42", "/help") + "," + TextUpdate(12, "42", "/status") + "," +
             TextUpdate(15, "99", "/buy"));
  const auto updates = Scan(body, "42");
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[0].updateId, 17);
  EXPECT_EQ(updates[1].updateId, 12);
  EXPECT_EQ(MaxId(updates), 17);
  EXPECT_EQ(NextOffset(MaxId(updates)), 18);
}

TEST(TelegramUpdateScan, UpdatesWithoutAChatMessageOnlyCount) {
  // "edited_message" and "channel_post" must not be taken for "message".
  const std::string body = Answer(
      "{\"update_id\":3,\"edited_message\":{\"message_id\":1,\"chat\":{\"id\":42},\"text\":\"/"
      "buy\"}},"
      "{\"update_id\":4,\"channel_post\":{\"chat\":{\"id\":42},\"text\":\"/sell\"}}," +
      TextUpdate(5, "42", "/help"));
  const auto updates = Scan(body, "42");
  ASSERT_EQ(updates.size(), 3u);
  EXPECT_EQ(updates[0].kind, Kind::kNoMessage);
  EXPECT_EQ(updates[1].kind, Kind::kNoMessage);
  EXPECT_EQ(updates[2].kind, Kind::kText);
  EXPECT_EQ(updates[2].text, "/help");
}

TEST(TelegramUpdateScan, NonTextMessageDoesNotBorrowTheNextUpdatesText) {
  const std::string photo =
      "{\"update_id\":8,\"message\":{\"message_id\":2,\"from\":{\"id\":555},\"chat\":{\"id\":42,"
      "\"type\":\"private\"},"
      "\"photo\":[{\"file_id\":\"x\"}]}}";
  const auto updates = Scan(Answer(photo + "," + TextUpdate(9, "42", "/closeall")), "42");
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[0].kind, Kind::kNoText);
  EXPECT_EQ(updates[0].text, "");
  EXPECT_EQ(updates[1].kind, Kind::kText);
  EXPECT_EQ(updates[1].text, "/closeall");
}

TEST(TelegramUpdateScan, ChatIdIsComparedAfterStrippingOnlyTheReceivedSide) {
  const std::string group = Answer(TextUpdate(1, "-1001234", "/status"));
  EXPECT_EQ(Scan(group, "-1001234")[0].kind, Kind::kText) << "negative group id";
  EXPECT_EQ(Scan(group, "1001234")[0].kind, Kind::kForeignChat);

  // A received id with blanks and quotes around it is stripped before comparing...
  const std::string spaced = Answer(TextUpdate(2, " \"42\" ", "/help"));
  EXPECT_EQ(Scan(spaced, "42")[0].kind, Kind::kText);
  // ...but a stored id with a leading blank never matches.
  const auto stored = Scan(Answer(TextUpdate(3, "42", "/help")), " 42");
  EXPECT_EQ(stored[0].kind, Kind::kForeignChat);
  EXPECT_EQ(stored[0].chatId, "42") << "the log line names the sender's id";
}

TEST(TelegramUpdateScan, ForeignChatStillCountsAndCarriesItsId) {
  const auto updates = Scan(Answer(TextUpdate(30, "31337", "/closeall")), "42");
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].kind, Kind::kForeignChat);
  EXPECT_EQ(updates[0].chatId, "31337");
  EXPECT_EQ(updates[0].updateId, 30);
}

// In a group every member writes into the configured chat; only the configured user may
// command (chat-only authorisation let each member trade).
TEST(TelegramUpdateScan, InTheChatOnlyTheConfiguredUserCommands) {
  const std::string group = Answer(TextUpdate(6, "-1001234", "/buy XAUUSD 50"));
  EXPECT_EQ(ScanTelegramUpdates(group, "-1001234", "555")[0].kind, Kind::kText);
  const auto other = ScanTelegramUpdates(group, "-1001234", "777");
  EXPECT_EQ(other[0].kind, Kind::kForeignUser);
  EXPECT_EQ(other[0].userId, "555") << "the log line names the sender";
  EXPECT_EQ(ScanTelegramUpdates(group, "-1001234", "")[0].kind, Kind::kForeignUser)
      << "a group without a named user obeys nobody";
  // The sender is the message's own "from", never the quoted message's.
  const std::string reply =
      "{\"update_id\":7,\"message\":{\"reply_to_message\":{\"from\":{\"id\":555},\"text\":\"x\"},"
      "\"from\":{\"id\":777},\"chat\":{\"id\":-1001234},\"date\":1,\"text\":\"/closeall\"}}";
  EXPECT_EQ(ScanTelegramUpdates(Answer(reply), "-1001234", "555")[0].kind, Kind::kForeignUser);
  const std::string anonymous =
      "{\"update_id\":8,\"message\":{\"chat\":{\"id\":-1001234},\"date\":1,\"text\":\"/be\"}}";
  EXPECT_EQ(ScanTelegramUpdates(Answer(anonymous), "-1001234", "555")[0].kind, Kind::kForeignUser);
}

TEST(TelegramUpdateScan, TextKeepsJsonEscapesAndStopsAtTheNextQuote) {
  const auto updates = Scan(Answer(TextUpdate(1, "42", "/buy EUR\\nUSD \\u00e9")), "42");
  EXPECT_EQ(updates[0].text, "/buy EUR\\nUSD \\u00e9");
  const auto quoted = Scan(Answer(TextUpdate(2, "42", "/sell say \\\"hi\\\"")), "42");
  EXPECT_EQ(quoted[0].text, "/sell say \\") << "an escaped quote ends the text";
}

TEST(TelegramUpdateScan, EmptyOrTruncatedBodiesNeverReadPastTheEnd) {
  EXPECT_TRUE(Scan("", "42").empty());
  EXPECT_TRUE(Scan("{\"ok\":true,\"result\":[]}", "42").empty());
  const std::string full = Answer(TextUpdate(77, "42", "/status"));
  // Every prefix of a real answer must scan without fault (sanitizers watch the reads).
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    const auto updates = Scan(full.substr(0, cut), "42");
    for (const auto& u : updates) EXPECT_LE(u.text.size(), full.size());
  }
  const auto cutText = Scan(
      "{\"update_id\":5,\"message\":{\"from\":{\"id\":555},\"chat\":{\"id\":42},\"text\":\"/be",
      "42");
  ASSERT_EQ(cutText.size(), 1u);
  EXPECT_EQ(cutText[0].text, "/be");
  EXPECT_EQ(cutText[0].updateId, 5);
}

// A reply quotes the earlier message whole, its text and date and chat included; only the
// reply's own text is a command, and its own date decides its age.
TEST(TelegramUpdateScan, AReplyNeverRunsTheQuotedMessage) {
  const std::string reply =
      "{\"update_id\":40,\"message\":{\"message_id\":12,\"reply_to_message\":{\"message_id\":3,"
      "\"chat\":{\"id\":42},\"date\":1000,\"text\":\"/closeall\"},\"from\":{\"id\":555},"
      "\"chat\":{\"id\":42,\"type\":\"private\"},\"date\":1765000000,\"text\":\"ok thanks\"}}";
  const auto updates = Scan(Answer(reply), "42");
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].kind, Kind::kText);
  EXPECT_EQ(updates[0].text, "ok thanks");
  EXPECT_EQ(updates[0].date, 1765000000);

  // A photo replying to a /buy has no text of its own.
  const std::string photo =
      "{\"update_id\":41,\"message\":{\"reply_to_message\":{\"chat\":{\"id\":42},\"text\":\"/"
      "buy\"},"
      "\"from\":{\"id\":555},\"chat\":{\"id\":42},\"date\":5,\"photo\":[{\"file_id\":\"x\"}]}}";
  EXPECT_EQ(Scan(Answer(photo), "42")[0].kind, Kind::kNoText);
  // The quoted message's chat is not the sender's: a foreign chat quoting ours stays foreign.
  const std::string foreign =
      "{\"update_id\":42,\"message\":{\"reply_to_message\":{\"chat\":{\"id\":42},\"text\":\"x\"},"
      "\"chat\":{\"id\":31337},\"text\":\"/closeall\"}}";
  EXPECT_EQ(Scan(Answer(foreign), "42")[0].kind, Kind::kForeignChat);
  // Keys inside string values ("text" mentioning "chat":) do not count as members.
  const std::string tricky =
      "{\"update_id\":43,\"message\":{\"caption\":\"\\\"text\\\":\\\"/"
      "closeall\",\"from\":{\"id\":555},\"chat\":{\"id\":42},"
      "\"date\":7}}";
  const auto t = Scan(Answer(tricky), "42");
  EXPECT_EQ(t[0].kind, Kind::kNoText);
  EXPECT_EQ(t[0].date, 7);
}

TEST(TelegramUpdateId, DecimalReadingWithBlanksSignAndSaturation) {
  EXPECT_EQ(ParseUpdateId("123"), 123);
  EXPECT_EQ(ParseUpdateId("  -7"), -7);
  EXPECT_EQ(ParseUpdateId("+9x"), 9);
  EXPECT_EQ(ParseUpdateId("abc"), 0);
  EXPECT_EQ(ParseUpdateId(""), 0);
  EXPECT_EQ(ParseUpdateId("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ParseUpdateId("-99999999999999999999999"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(ParseUpdateId("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(NextOffset(0), 1) << "a fresh worker asks offset 1";
  EXPECT_EQ(NextOffset(std::numeric_limits<std::int64_t>::max()),
            std::numeric_limits<std::int64_t>::max());
}

// A revoked token (401) or a webhook (409) used to drop every poll without a word; each says
// what it is, and only "ok":true counts as a working poll.
TEST(TelegramPoll, EachFailureSaysWhatItIs) {
  EXPECT_TRUE(ClassifyTelegramPoll(Answer("")).ok);
  const struct {
    const char* body;
    const char* problem;
  } cases[] = {
      {"", "no answer from Telegram (network or address)"},
      {"<html>502</html>", "an answer that is not Telegram's"},
      {R"({"ok":false,"error_code":401,"description":"Unauthorized"})",
       "the bot token was refused (401 Unauthorized): it may have been revoked"},
      {R"({"ok":false,"error_code":409,"description":"Conflict: can't use getUpdates method while webhook is active"})",
       "another program takes the bot's updates (409 Conflict): Conflict: can't use getUpdates "
       "method while webhook is active"},
      {R"({"ok":false,"error_code":429,"description":"Too Many\nRequests"})",
       "Telegram refused the poll (429): Too Many Requests"},
      {R"({"ok":"true","result":[]})", "Telegram refused the poll (0)"},
  };
  for (const auto& c : cases) {
    const TelegramPollState state = ClassifyTelegramPoll(c.body);
    EXPECT_FALSE(state.ok) << c.body;
    EXPECT_EQ(state.problem, c.problem) << c.body;
  }
}

TEST(TelegramUrls, PollAndSendAddresses) {
  EXPECT_EQ(TelegramPollUrl("https://api.telegram.org", "1:A", 1),
            "https://api.telegram.org/bot1:A/getUpdates?offset=1&timeout=3");
  EXPECT_EQ(TelegramSendMessageUrl("http://127.0.0.1:9", "1:A"),
            "http://127.0.0.1:9/bot1:A/sendMessage");
}

}  // namespace
