#include "cdp_message.h"

bool ParseCdpMessage(std::string_view text, CdpIncoming* out) {
  *out = CdpIncoming();
  JsonValue root;
  if (!ParseJson(text, &root) || !root.IsObject()) return false;
  out->sessionId = root.StringAt("sessionId");
  if (const JsonValue* id = root.Find("id"); id && id->type == JsonValue::Type::Number) {
    out->isReply = true;
    out->id = root.IntegerAt("id", 0);
    if (const JsonValue* error = root.Find("error")) {
      out->failed = true;
      out->errorJson = WriteJson(*error);
      out->error = error->StringAt("message");
      if (out->error.empty()) out->error = "DevTools error";
    } else if (JsonValue* result = const_cast<JsonValue*>(root.Find("result"))) {
      out->result = std::move(*result);
    }
    return true;
  }
  const JsonValue* method = root.Find("method");
  if (!method || !method->IsString()) return false;
  out->method = method->text;
  if (JsonValue* params = const_cast<JsonValue*>(root.Find("params"))) {
    out->params = std::move(*params);
  }
  return true;
}

std::string BuildCdpCommand(long long id, std::string_view method, std::string_view paramsJson,
                            std::string_view sessionId) {
  std::string c =
      "{\"id\":" + std::to_string(id) + ",\"method\":" + JsonQuote(method) + ",\"params\":";
  if (paramsJson.empty()) {
    c += "{}";
  } else {
    c.append(paramsJson);
  }
  if (!sessionId.empty()) c += ",\"sessionId\":" + JsonQuote(sessionId);
  c.push_back('}');
  return c;
}

DevToolsMethodOutcome OutcomeOfMethodReply(const CdpIncoming& reply) {
  DevToolsMethodOutcome outcome;
  if (!reply.failed) {
    outcome.kind = DevToolsMethodOutcome::Kind::kResult;
    outcome.json = reply.result.IsObject() ? WriteJson(reply.result) : "{}";
  } else if (!reply.errorJson.empty()) {
    outcome.kind = DevToolsMethodOutcome::Kind::kProtocolError;
    outcome.json = reply.errorJson;
  }
  return outcome;
}

std::string ScriptResultJson(const JsonValue& evaluateResult) {
  if (evaluateResult.Find("exceptionDetails")) return "null";
  const JsonValue* remote = evaluateResult.Find("result");
  if (!remote || !remote->IsObject()) return "null";
  const JsonValue* value = remote->Find("value");
  // NaN, Infinity, -0 and bigints come as unserializableValue, undefined and functions
  // with no value at all: none has a JSON text.
  if (!value) return "null";
  return WriteJson(*value);
}

int CountOtherPages(const JsonValue& getTargetsResult, std::string_view excludedTargetId) {
  const JsonValue* infos = getTargetsResult.Find("targetInfos");
  if (!infos || infos->type != JsonValue::Type::Array) return 0;
  int pages = 0;
  for (const JsonValue& info : infos->items) {
    const JsonValue* attached = info.Find("attached");
    if (info.StringAt("type") == "page" && info.StringAt("targetId") != excludedTargetId &&
        attached && attached->type == JsonValue::Type::Bool && attached->boolean) {
      ++pages;
    }
  }
  return pages;
}
