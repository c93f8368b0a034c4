#pragma once
// The workspace's secrets as the host keeps them: the trader's AI provider keys and the
// Telegram relay (token, chat, the user allowed to command it). Stored in the workspace data
// folder, protected for the Windows user (services/workspace_secrets_win.cpp); never in the
// bridge folder, never served to a page, never in the chart site's storage. This part is the
// text work: the stored JSON, the channel's SECRETS_SET and the keys an older version left in
// QV_AIConfig.json.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/json.h"

struct WorkspaceSecrets {
  std::map<std::string, std::string> keys;  // provider name -> key, only non-empty ones
  std::string telegramToken;
  std::string telegramChatId;
  std::string telegramUserId;
  std::string telegramBotName;  // the bot's username as Telegram gave it at the confirmation
};

// gemini, deepseek, openrouter, openrouter_model, openai, claude.
[[nodiscard]] const std::vector<std::string>& ProviderKeyNames();

// A key or a Telegram value as the host keeps it: 1 to 512 printable ASCII characters
// without blanks or quotes (every provider key and bot token has that shape; the workers
// send them in URLs and JSON).
[[nodiscard]] bool IsUsableSecretValue(const std::string& value);

[[nodiscard]] std::string StoredSecretsJson(const WorkspaceSecrets& secrets);
// nullopt for text that is not the stored form; unusable values in it are dropped.
[[nodiscard]] std::optional<WorkspaceSecrets> ParseStoredSecrets(const std::string& json);

// SECRETS_SET:<json>: the provider keys given (an empty string removes one) and the relay's
// members tg_token, tg_chatid, tg_userid (a change of the relay is only a question to the
// trader, see RelayFromUpdate). Other members, and values that could not be kept safely, are
// refused by name.
struct SecretsUpdate {
  std::map<std::string, std::string> set;  // provider keys; empty value: remove
  std::optional<std::string> telegramToken, telegramChatId, telegramUserId;
  std::vector<std::string> refused;
  bool readable = false;  // the text was one JSON object
  [[nodiscard]] bool changesRelay() const {
    return telegramToken || telegramChatId || telegramUserId;
  }
};
[[nodiscard]] SecretsUpdate ParseSecretsSet(const std::string& json);
// Applies the update; only adds keys the store lacks when onlyMissing (migrations never
// overwrite what the trader set since).
void ApplySecretsUpdate(const SecretsUpdate& update, bool onlyMissing, WorkspaceSecrets* secrets);

// The provider keys an earlier version kept in QV_AIConfig.json (and vault.json): taken out,
// and the file's text without them, every other member as it was. Nothing when the text is
// not a JSON object or holds no key member at all.
struct ConfigKeys {
  SecretsUpdate keys;
  std::string rewritten;
};
[[nodiscard]] std::optional<ConfigKeys> TakeKeysFromConfig(const std::string& configText);

// A Telegram relay as TG_CFG asks for it: "<token>,<chat id>[,<user id>]". Without a user id
// a private chat (a positive id) is its own user; a group chat then has none, and no command
// of it is obeyed. An empty token removes the relay.
struct TelegramRelay {
  std::string token, chatId, userId;
  [[nodiscard]] bool removes() const { return token.empty(); }
};
[[nodiscard]] std::optional<TelegramRelay> ParseTelegramRelay(const std::string& rest);

// The relay a SECRETS_SET asks for: its members over the stored relay (a user id not given
// follows the chat: a private chat's own id, none for a group). nullopt when the result names
// no usable relay; removes() when the token is emptied.
[[nodiscard]] std::optional<TelegramRelay> RelayFromUpdate(const SecretsUpdate& update,
                                                           const WorkspaceSecrets& stored);
[[nodiscard]] bool IsStoredRelay(const WorkspaceSecrets& stored, const TelegramRelay& relay);
// The bot's numeric id, the part of the token before its colon ("123456:ABC" -> "123456").
[[nodiscard]] std::string TelegramBotId(const std::string& token);

// The native question a new relay needs before it takes effect: it names the bot (its
// username when Telegram gave one, always its id), the chat and the user it will obey.
[[nodiscard]] std::string TelegramRelayQuestion(const TelegramRelay& relay,
                                                const std::string& botName);
inline constexpr const char* kTelegramRelayQuestionTitle = "Quorvale Workspace - Telegram relay";

// {"type":"secrets",<each provider key>,"tg_token","tg_chatid","tg_userid","tg_bot"}: for the
// HUD's world only (the chart site's scripts cannot reach it), so its vault shows the trader
// what is set.
[[nodiscard]] JsonValue SecretsPush(const WorkspaceSecrets& secrets);
