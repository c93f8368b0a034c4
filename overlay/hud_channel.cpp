#include "overlay/hud_channel.h"

#include "overlay/message_source.h"

void HudChannel::FrameNavigated(const JsonValue& params) {
  const JsonValue* frame = params.Find("frame");
  // A frame with a parent is a child frame; only the main frame's document counts.
  if (!frame || !frame->IsObject() || frame->Find("parentId")) return;
  const std::string id = frame->StringAt("id");
  if (id.empty()) return;
  mainFrameId_ = id;
  mainFrameUrl_ = frame->StringAt("url");
}

void HudChannel::ContextCreated(const JsonValue& params) {
  const JsonValue* context = params.Find("context");
  if (!context || !context->IsObject() || context->StringAt("name") != kHudWorldName) return;
  const JsonValue* aux = context->Find("auxData");
  const long long id = context->IntegerAt("id", 0);
  if (!aux || id == 0 || aux->StringAt("type") != "isolated") return;
  worlds_[id] = World{aux->StringAt("frameId"), context->StringAt("origin")};
}

void HudChannel::ContextDestroyed(const JsonValue& params) {
  const long long id = params.IntegerAt("executionContextId", 0);
  worlds_.erase(id);
  if (readyContext_ == id) readyContext_.reset();
}

void HudChannel::ContextsCleared() {
  worlds_.clear();
  readyContext_.reset();
}

bool HudChannel::TrustedMainPage(const World& world) const {
  // The page's URL comes from the navigation event, its origin from the context itself;
  // both must name one of the workspace's own documents.
  return !mainFrameUrl_.empty() && IsTrustedMessageSource(mainFrameUrl_) &&
         UrlOrigin(mainFrameUrl_) == world.origin;
}

BindingVerdict HudChannel::TakeBindingCall(const JsonValue& params) const {
  BindingVerdict verdict;
  verdict.contextId = params.IntegerAt("executionContextId", 0);
  if (params.StringAt("name") != kHostBindingName) {
    verdict.kind = BindingVerdict::Kind::kOtherBinding;
    return verdict;
  }
  const auto found = worlds_.find(verdict.contextId);
  if (found == worlds_.end()) {
    verdict.kind = BindingVerdict::Kind::kUnknownContext;
    return verdict;
  }
  verdict.origin = found->second.origin;
  if (mainFrameId_.empty() || found->second.frameId != mainFrameId_) {
    verdict.kind = BindingVerdict::Kind::kChildFrame;
    return verdict;
  }
  if (!TrustedMainPage(found->second)) {
    verdict.kind = BindingVerdict::Kind::kUntrustedPage;
    return verdict;
  }
  verdict.kind = BindingVerdict::Kind::kAccepted;
  verdict.message = params.StringAt("payload");
  return verdict;
}

std::optional<long long> HudChannel::HudContext() const {
  std::optional<long long> newest;
  for (const auto& [id, world] : worlds_) {
    if (world.frameId == mainFrameId_ && !mainFrameId_.empty() && TrustedMainPage(world)) {
      newest = id;  // ids grow: the last one is the current document's
    }
  }
  return newest;
}

std::optional<long long> HudChannel::PushContext() const {
  const std::optional<long long> current = HudContext();
  if (!current || readyContext_ != current) return std::nullopt;
  return current;
}

std::string HudPushEvaluateParams(long long contextId, const JsonValue& push) {
  JsonValue params = JsonObject();
  params.Set("contextId", JsonNumber(std::to_string(contextId)));
  params.Set("expression", JsonString("__qvHostPush(" + WriteJson(push) + ")"));
  return WriteJson(params);
}
