#pragma once
// The HUD's channel, decided without the OS: which DevTools execution context is the HUD's
// (its isolated world in the main frame of one of the workspace's own documents), which
// binding calls the host takes from the page, and the commands that push into that world.
// Everything here comes from the host's own DevTools session, never from text the page
// chose, except the binding's payload.
#include <map>
#include <optional>
#include <string>

#include "host/json.h"

// The isolated world the HUD runs in, and its one function to the host.
inline constexpr const char* kHudWorldName = "quorvale_hud";
inline constexpr const char* kHostBindingName = "__qvHost";

struct BindingVerdict {
  enum class Kind {
    kAccepted,        // message: the payload, from the HUD of the current document
    kOtherBinding,    // a binding of another name
    kUnknownContext,  // a context the host does not know as the HUD's
    kChildFrame,      // the HUD world of a frame, not of the main frame
    kUntrustedPage,   // the main frame shows a document that is not the workspace's
  };
  Kind kind = Kind::kUnknownContext;
  long long contextId = 0;
  std::string message;
  std::string origin;  // for the log line of a dropped call (never the payload)
};

class HudChannel {
 public:
  // The params objects of Page.frameNavigated and the Runtime.executionContext* events.
  void FrameNavigated(const JsonValue& params);
  void ContextCreated(const JsonValue& params);
  void ContextDestroyed(const JsonValue& params);
  void ContextsCleared();

  // Runtime.bindingCalled params.
  [[nodiscard]] BindingVerdict TakeBindingCall(const JsonValue& params) const;

  // The HUD world of the main frame's current document, when that document is ours.
  [[nodiscard]] std::optional<long long> HudContext() const;

  // The HUD of that document said it is built (HUD_READY): pushes go to it from now on.
  void NoteReady(long long contextId) { readyContext_ = contextId; }
  // The context pushes go to: built, current and ours; nothing before HUD_READY.
  [[nodiscard]] std::optional<long long> PushContext() const;

 private:
  struct World {
    std::string frameId;
    std::string origin;
  };
  [[nodiscard]] bool TrustedMainPage(const World& world) const;

  std::string mainFrameId_;
  std::string mainFrameUrl_;
  std::map<long long, World> worlds_;  // contexts named kHudWorldName, of every frame
  std::optional<long long> readyContext_;
};

// {"contextId":<id>,"expression":"__qvHostPush(<push>)"}: the push object becomes the call's
// argument as a JSON literal, which JavaScript reads as the same object.
[[nodiscard]] std::string HudPushEvaluateParams(long long contextId, const JsonValue& push);
