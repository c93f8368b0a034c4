#include "testing/webview2-runtime/frame_tracker.h"

void FrameTracker::FrameNavigated(const std::string& frameId, const std::string& parentId,
                                  const std::string& url) {
  if (!parentId.empty()) return;
  topFrameId_ = frameId;
  topUrl_ = url;
}

void FrameTracker::ContextCreated(long long contextId, const std::string& frameId, bool isDefault) {
  if (isDefault && !frameId.empty()) contextFrames_[contextId] = frameId;
}

void FrameTracker::ContextDestroyed(long long contextId) {
  contextFrames_.erase(contextId);
}

void FrameTracker::ContextsCleared() {
  contextFrames_.clear();
}

std::optional<std::string> FrameTracker::TopLevelSource(long long contextId) const {
  const auto found = contextFrames_.find(contextId);
  if (found == contextFrames_.end() || topFrameId_.empty() || found->second != topFrameId_) {
    return std::nullopt;
  }
  return topUrl_;
}
