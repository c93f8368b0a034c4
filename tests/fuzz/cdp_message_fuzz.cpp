// DevTools messages as Chromium (or anything on its port) sends them; a command built from
// any method, parameters object and session reads back with those values.
#include "cdp_message.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = fuzz::Bytes(data, size);
  CdpIncoming incoming;
  if (ParseCdpMessage(text, &incoming)) {
    if (incoming.failed) FUZZ_CHECK(!incoming.error.empty());
    JsonValue script;
    const std::string result = ScriptResultJson(incoming.result);
    FUZZ_CHECK(ParseJson(result, &script));
    FUZZ_CHECK(CountOtherPages(incoming.result, incoming.sessionId) >= 0);
  }

  const std::vector<std::string> parts = fuzz::Split(text, '\n');
  const std::string method = parts[0];
  const std::string session = parts.size() > 1 ? parts[1] : "";
  JsonValue params;
  const bool paramsOk = parts.size() > 2 && ParseJson(parts[2], &params) && params.IsObject();
  JsonValue command;
  FUZZ_CHECK(ParseJson(BuildCdpCommand(77, method, paramsOk ? parts[2] : "", session), &command));
  FUZZ_CHECK(command.IntegerAt("id", 0) == 77);
  FUZZ_CHECK(command.StringAt("method") == method);
  FUZZ_CHECK(command.StringAt("sessionId") == session);
  const JsonValue* sent = command.Find("params");
  FUZZ_CHECK(sent && sent->IsObject());
  FUZZ_CHECK(WriteJson(*sent) == (paramsOk ? WriteJson(params) : "{}"));
  return 0;
}
