#include "services/workspace_secrets.h"

namespace {

bool IsDecimalId(const std::string& text) {
  std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i == text.size() || text.size() > 24) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool IsProviderKeyName(const std::string& name) {
  for (const std::string& n : ProviderKeyNames()) {
    if (n == name) return true;
  }
  return false;
}

// The relay's members of a SECRETS_SET; false for any other name.
bool TakeRelayMember(const std::string& name, const JsonValue& value, SecretsUpdate* update) {
  std::optional<std::string>* slot = name == "tg_token"    ? &update->telegramToken
                                     : name == "tg_chatid" ? &update->telegramChatId
                                     : name == "tg_userid" ? &update->telegramUserId
                                                           : nullptr;
  if (!slot) return false;
  if (!value.IsString() || (!value.text.empty() && !IsUsableSecretValue(value.text))) {
    update->refused.push_back(name);
  } else {
    *slot = value.text;
  }
  return true;
}

SecretsUpdate KeysOf(const JsonValue& object, bool withRelay) {
  SecretsUpdate update;
  update.readable = object.IsObject();
  for (std::size_t i = 0; i < object.names.size(); ++i) {
    const std::string& name = object.names[i];
    const JsonValue& value = object.items[i];
    if (!IsProviderKeyName(name)) {
      if (withRelay && !TakeRelayMember(name, value, &update)) update.refused.push_back(name);
      continue;
    }
    if (!value.IsString() || (!value.text.empty() && !IsUsableSecretValue(value.text))) {
      update.refused.push_back(name);
      continue;
    }
    update.set[name] = value.text;
  }
  return update;
}

}  // namespace

const std::vector<std::string>& ProviderKeyNames() {
  static const std::vector<std::string> kNames = {"gemini", "deepseek",         "openrouter",
                                                  "openai", "openrouter_model", "claude"};
  return kNames;
}

bool IsUsableSecretValue(const std::string& value) {
  if (value.empty() || value.size() > 512) return false;
  for (const unsigned char c : value) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\\') return false;
  }
  return true;
}

std::string StoredSecretsJson(const WorkspaceSecrets& secrets) {
  JsonValue keys = JsonObject();
  for (const auto& [name, value] : secrets.keys) keys.Set(name, JsonString(value));
  JsonValue root = JsonObject();
  root.Set("keys", keys);
  root.Set("telegram_token", JsonString(secrets.telegramToken));
  root.Set("telegram_chat_id", JsonString(secrets.telegramChatId));
  root.Set("telegram_user_id", JsonString(secrets.telegramUserId));
  root.Set("telegram_bot_name", JsonString(secrets.telegramBotName));
  return WriteJson(root);
}

std::optional<WorkspaceSecrets> ParseStoredSecrets(const std::string& json) {
  JsonValue root;
  if (!ParseJson(json, &root) || !root.IsObject()) return std::nullopt;
  WorkspaceSecrets secrets;
  if (const JsonValue* keys = root.Find("keys")) {
    for (const auto& [name, value] : KeysOf(*keys, false).set) {
      if (!value.empty()) secrets.keys[name] = value;
    }
  }
  auto telegram = [&](const char* name) {
    const std::string value = root.StringAt(name);
    return IsUsableSecretValue(value) ? value : std::string();
  };
  secrets.telegramToken = telegram("telegram_token");
  secrets.telegramChatId = telegram("telegram_chat_id");
  secrets.telegramUserId = telegram("telegram_user_id");
  secrets.telegramBotName = telegram("telegram_bot_name");
  return secrets;
}

SecretsUpdate ParseSecretsSet(const std::string& json) {
  JsonValue root;
  if (!ParseJson(json, &root) || !root.IsObject()) return {};
  return KeysOf(root, true);
}

void ApplySecretsUpdate(const SecretsUpdate& update, bool onlyMissing, WorkspaceSecrets* secrets) {
  for (const auto& [name, value] : update.set) {
    const bool has = secrets->keys.count(name) != 0;
    if (onlyMissing && has) continue;
    if (value.empty()) {
      secrets->keys.erase(name);
    } else {
      secrets->keys[name] = value;
    }
  }
}

std::optional<ConfigKeys> TakeKeysFromConfig(const std::string& configText) {
  JsonValue root;
  if (!ParseJson(configText, &root) || !root.IsObject()) return std::nullopt;
  ConfigKeys out;
  out.keys = KeysOf(root, false);
  bool hadKey = false;
  JsonValue kept = JsonObject();
  for (std::size_t i = 0; i < root.names.size(); ++i) {
    if (IsProviderKeyName(root.names[i])) {
      hadKey = true;
      continue;
    }
    kept.Set(root.names[i], root.items[i]);
  }
  if (!hadKey) return std::nullopt;
  out.rewritten = WriteJson(kept);
  return out;
}

std::optional<TelegramRelay> ParseTelegramRelay(const std::string& rest) {
  const std::size_t first = rest.find(',');
  if (first == std::string::npos) return std::nullopt;
  TelegramRelay relay;
  relay.token = rest.substr(0, first);
  const std::size_t second = rest.find(',', first + 1);
  relay.chatId =
      rest.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos) relay.userId = rest.substr(second + 1);
  if (relay.removes()) {
    relay.chatId.clear();
    relay.userId.clear();
    return relay;
  }
  if (!IsUsableSecretValue(relay.token) || relay.token.find(',') != std::string::npos ||
      !IsDecimalId(relay.chatId) || (!relay.userId.empty() && !IsDecimalId(relay.userId)) ||
      (!relay.userId.empty() && relay.userId[0] == '-')) {
    return std::nullopt;
  }
  if (relay.userId.empty() && relay.chatId[0] != '-') relay.userId = relay.chatId;
  return relay;
}

std::optional<TelegramRelay> RelayFromUpdate(const SecretsUpdate& update,
                                             const WorkspaceSecrets& stored) {
  const std::string token = update.telegramToken.value_or(stored.telegramToken);
  const std::string chat = update.telegramChatId.value_or(stored.telegramChatId);
  std::string rest = token + "," + chat;
  if (update.telegramUserId) {
    if (!update.telegramUserId->empty()) rest += "," + *update.telegramUserId;
  } else if (!update.telegramChatId && !stored.telegramUserId.empty()) {
    rest += "," + stored.telegramUserId;
  }
  return ParseTelegramRelay(rest);
}

bool IsStoredRelay(const WorkspaceSecrets& stored, const TelegramRelay& relay) {
  return stored.telegramToken == relay.token && stored.telegramChatId == relay.chatId &&
         stored.telegramUserId == relay.userId;
}

std::string TelegramBotId(const std::string& token) {
  return token.substr(0, token.find(':'));
}

std::string TelegramRelayQuestion(const TelegramRelay& relay, const std::string& botName) {
  const std::string bot = botName.empty()
                              ? "id " + TelegramBotId(relay.token) + " (Telegram gave no name)"
                              : "@" + botName + " (id " + TelegramBotId(relay.token) + ")";
  std::string chat = relay.chatId;
  if (relay.chatId[0] != '-') {
    chat += " (a private chat)";
  } else if (relay.userId.empty()) {
    chat += " (a group: no user is named, so it will obey nobody)";
  } else {
    chat += " (a group)";
  }
  return "The HUD asks to give remote control of your trading to this Telegram relay:\n\n"
         "Bot: " +
         bot + "\nChat: " + chat + "\nUser: " + (relay.userId.empty() ? "none" : relay.userId) +
         "\n\nIts messages will open and close positions. Allow it only if you have just entered "
         "this bot and chat yourself.";
}

JsonValue SecretsPush(const WorkspaceSecrets& secrets) {
  JsonValue push = JsonObject();
  push.Set("type", JsonString("secrets"));
  for (const std::string& name : ProviderKeyNames()) {
    const auto found = secrets.keys.find(name);
    push.Set(name, JsonString(found == secrets.keys.end() ? std::string() : found->second));
  }
  push.Set("tg_token", JsonString(secrets.telegramToken));
  push.Set("tg_chatid", JsonString(secrets.telegramChatId));
  push.Set("tg_userid", JsonString(secrets.telegramUserId));
  push.Set("tg_bot", JsonString(secrets.telegramBotName));
  return push;
}
