#include "services/workspace_secrets.h"

#include <gtest/gtest.h>
#include <string>

#include "services/telegram_bot.h"

namespace {

TEST(WorkspaceSecrets, StoredFormReadsBackAndDropsWhatCouldNotBeSentSafely) {
  WorkspaceSecrets s;
  s.keys["gemini"] = "AIza-key_1";
  s.keys["openrouter_model"] = "google/gemini-2.0-flash-001";
  s.telegramToken = "123456:ABC-def";
  s.telegramChatId = "-1001";
  s.telegramUserId = "42";
  s.telegramBotName = "QuorvaleBot";
  const std::optional<WorkspaceSecrets> back = ParseStoredSecrets(StoredSecretsJson(s));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->keys, s.keys);
  EXPECT_EQ(back->telegramToken, "123456:ABC-def");
  EXPECT_EQ(back->telegramChatId, "-1001");
  EXPECT_EQ(back->telegramUserId, "42");
  EXPECT_EQ(back->telegramBotName, "QuorvaleBot");

  const std::optional<WorkspaceSecrets> edited = ParseStoredSecrets(
      R"({"keys":{"gemini":"a b","claude":"ok","tg_token":"x"},"telegram_token":"t\"x"})");
  ASSERT_TRUE(edited);
  EXPECT_EQ(edited->keys.size(), 1u);
  EXPECT_EQ(edited->keys.at("claude"), "ok");
  EXPECT_EQ(edited->telegramToken, "") << "a quote would end the value in a URL or reply body";
  EXPECT_FALSE(ParseStoredSecrets("not json"));
}

// Keys are stored as given; the relay's members are kept apart, for the trader's question.
TEST(WorkspaceSecrets, SecretsSetKeepsKeysAndRelayApart) {
  const SecretsUpdate u = ParseSecretsSet(
      R"({"openai":"sk-proj-1","claude":"","tg_token":"999:EVIL","deepseek":"bad key","gemini":7,)"
      R"("tg_chatid":"42","other":"x"})");
  ASSERT_TRUE(u.readable);
  EXPECT_EQ(u.set.size(), 2u);
  EXPECT_EQ(u.set.at("openai"), "sk-proj-1");
  EXPECT_EQ(u.set.at("claude"), "") << "an empty string removes a key";
  EXPECT_EQ(u.refused, (std::vector<std::string>{"deepseek", "gemini", "other"}));
  EXPECT_TRUE(u.changesRelay());
  EXPECT_EQ(u.telegramToken, "999:EVIL");
  EXPECT_FALSE(ParseSecretsSet("[1]").readable);
  EXPECT_FALSE(ParseSecretsSet(R"({"gemini":"g"})").changesRelay());

  WorkspaceSecrets s;
  s.keys["claude"] = "old";
  s.keys["openai"] = "trader-set";
  ApplySecretsUpdate(u, /*onlyMissing=*/true, &s);
  EXPECT_EQ(s.keys.at("openai"), "trader-set") << "a migration never overwrites";
  EXPECT_EQ(s.keys.at("claude"), "old");
  ApplySecretsUpdate(u, /*onlyMissing=*/false, &s);
  EXPECT_EQ(s.keys.at("openai"), "sk-proj-1");
  EXPECT_EQ(s.keys.count("claude"), 0u);
  EXPECT_EQ(s.telegramToken, "") << "applying keys never sets the relay";
}

// The relay a vault save asks for is its changed members over the stored relay.
TEST(WorkspaceSecrets, ARelayChangeIsTheChangedMembersOverTheStoredRelay) {
  WorkspaceSecrets stored;
  stored.telegramToken = "111:OLD";
  stored.telegramChatId = "-1001";
  stored.telegramUserId = "77";
  std::optional<TelegramRelay> r =
      RelayFromUpdate(ParseSecretsSet(R"({"tg_token":"222:NEW"})"), stored);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->token, "222:NEW");
  EXPECT_EQ(r->chatId, "-1001");
  EXPECT_EQ(r->userId, "77") << "the user stays with an unchanged chat";
  r = RelayFromUpdate(ParseSecretsSet(R"({"tg_chatid":"42"})"), stored);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->userId, "42") << "a new private chat is its own user";
  r = RelayFromUpdate(ParseSecretsSet(R"({"tg_chatid":"-5"})"), stored);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->userId, "") << "a new group names nobody until a user is given";
  r = RelayFromUpdate(ParseSecretsSet(R"({"tg_token":""})"), stored);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->removes());
  EXPECT_FALSE(RelayFromUpdate(ParseSecretsSet(R"({"tg_chatid":"4x"})"), stored));
  EXPECT_TRUE(IsStoredRelay(
      stored, *RelayFromUpdate(ParseSecretsSet(R"({"tg_token":"111:OLD"})"), stored)));
}

TEST(WorkspaceSecrets, KeysLeaveQvAiConfigWithEveryOtherMemberKept) {
  const std::optional<ConfigKeys> taken = TakeKeysFromConfig(
      R"({"gemini":"g-1","risk_pct":1.5,"openai":"","max_dd":4.5,"hour_start":null,"claude":"c-1"})");
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->rewritten, R"({"risk_pct":1.5,"max_dd":4.5,"hour_start":null})");
  EXPECT_EQ(taken->keys.set.at("gemini"), "g-1");
  EXPECT_EQ(taken->keys.set.at("claude"), "c-1");
  EXPECT_EQ(taken->keys.set.at("openai"), "");
  EXPECT_FALSE(TakeKeysFromConfig(R"({"risk_pct":1.5})")) << "nothing to move, nothing rewritten";
  EXPECT_FALSE(TakeKeysFromConfig("{\"gemini\":"));
}

TEST(WorkspaceSecrets, RelayNamesItsUserAndAGroupWithoutOneObeysNobody) {
  std::optional<TelegramRelay> r = ParseTelegramRelay("123:AAA,42");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->userId, "42") << "a private chat's id is its user's id";
  r = ParseTelegramRelay("123:AAA,-1001,77");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->chatId, "-1001");
  EXPECT_EQ(r->userId, "77");
  r = ParseTelegramRelay("123:AAA,-1001");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->userId, "") << "every member of a group would otherwise trade";
  r = ParseTelegramRelay(",");
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->removes());
  for (const char* bad : {"123:AAA", "12\"3,42", "123:AAA,4x2", "123:AAA,42,-5", "123:AAA,,",
                          "1 23,42", "123:AAA,42,7,8"}) {
    EXPECT_FALSE(ParseTelegramRelay(bad)) << bad;
  }
  EXPECT_EQ(TelegramBotId("123456:ABC"), "123456");
}

// The trader must see whom remote control goes to (the review's S3 moved the relay to a page
// script's own bot and chat).
TEST(WorkspaceSecrets, TheRelayQuestionNamesTheBotTheChatAndTheUser) {
  const std::optional<TelegramRelay> group = ParseTelegramRelay("999:ATTACKER,-424242,77");
  ASSERT_TRUE(group);
  const std::string text = TelegramRelayQuestion(*group, "AttackerBot");
  EXPECT_NE(text.find("Bot: @AttackerBot (id 999)"), std::string::npos) << text;
  EXPECT_NE(text.find("Chat: -424242 (a group)"), std::string::npos) << text;
  EXPECT_NE(text.find("User: 77"), std::string::npos) << text;
  EXPECT_EQ(text.find("ATTACKER"), std::string::npos) << "the token's secret part is not shown";
  const std::string unnamed = TelegramRelayQuestion(*ParseTelegramRelay("5:X,-1"), "");
  EXPECT_NE(unnamed.find("Bot: id 5 (Telegram gave no name)"), std::string::npos) << unnamed;
  EXPECT_NE(unnamed.find("so it will obey nobody"), std::string::npos) << unnamed;
  EXPECT_EQ(TelegramBotNameFromGetMe(R"({"ok":true,"result":{"id":5,"username":"Quorvale_Bot"}})"),
            "Quorvale_Bot");
  EXPECT_EQ(TelegramBotNameFromGetMe(R"({"ok":true,"result":{"username":"a b\n"}})"), "");
  EXPECT_EQ(TelegramBotNameFromGetMe(R"({"ok":false,"error_code":401})"), "");
}

TEST(WorkspaceSecrets, ThePushNamesEveryKeyAndTheRelay) {
  WorkspaceSecrets s;
  s.keys["gemini"] = "g";
  s.telegramToken = "555:T";
  s.telegramChatId = "42";
  s.telegramUserId = "42";
  s.telegramBotName = "QuorvaleBot";
  EXPECT_EQ(WriteJson(SecretsPush(s)),
            R"({"type":"secrets","gemini":"g","deepseek":"","openrouter":"","openai":"",)"
            R"("openrouter_model":"","claude":"","tg_token":"555:T","tg_chatid":"42",)"
            R"("tg_userid":"42","tg_bot":"QuorvaleBot"})");
}

}  // namespace
