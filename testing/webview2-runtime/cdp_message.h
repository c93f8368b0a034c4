#pragma once
// DevTools protocol messages: building commands, telling replies from events, and the
// reply shapes the WebView2 calls turn into results.
#include <string>
#include <string_view>

#include "host/json.h"

struct CdpIncoming {
  bool isReply = false;
  long long id = 0;
  bool failed = false;    // a reply with "error" (or a link that broke before the reply)
  std::string error;      // the error's message
  std::string errorJson;  // the whole error object as Chromium sent it; empty without one
  JsonValue result;       // reply result
  std::string method;     // event name
  JsonValue params;       // event parameters
  std::string sessionId;  // page session of the reply or event; empty for the browser
};

// False for text that is not a JSON object with either an id or a method.
[[nodiscard]] bool ParseCdpMessage(std::string_view text, CdpIncoming* out);

// {"id":N,"method":"...","params":{...},"sessionId":"..."}; paramsJson empty means {}.
[[nodiscard]] std::string BuildCdpCommand(long long id, std::string_view method,
                                          std::string_view paramsJson, std::string_view sessionId);

// What CallDevToolsProtocolMethod hands its handler for a reply: the result object's JSON,
// or, for an error Chromium answered, that error object ({"code":...,"message":...}), which
// WebView2 reports with E_INVALIDARG. A link that broke before any answer has no JSON.
struct DevToolsMethodOutcome {
  enum class Kind { kResult, kProtocolError, kNoAnswer };
  Kind kind = Kind::kNoAnswer;
  std::string json;
};
[[nodiscard]] DevToolsMethodOutcome OutcomeOfMethodReply(const CdpIncoming& reply);

// The JSON text ExecuteScript hands to its handler for a Runtime.evaluate result:
// result.value re-serialised, "null" for undefined, thrown exceptions and values that
// have no JSON form.
[[nodiscard]] std::string ScriptResultJson(const JsonValue& evaluateResult);

// Attached page targets in a Target.getTargets result other than excludedTargetId: pages
// some live client still drives. The last controller of every process sharing a browser
// closes it; pages nobody is attached to (the start page, the page of a process that died
// without Close) do not keep it open.
[[nodiscard]] int CountOtherPages(const JsonValue& getTargetsResult,
                                  std::string_view excludedTargetId);
