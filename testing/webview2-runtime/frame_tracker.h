#pragma once
// Which document a binding call came from. WebView2 raises the view's WebMessageReceived
// only for posts of the top-level document and names that document's URL as the source;
// the page must not be able to choose either, so both come from the DevTools frame and
// execution-context events rather than from anything the page sends.
#include <map>
#include <optional>
#include <string>

class FrameTracker {
 public:
  // Page.frameNavigated; parentId is empty for the top-level frame.
  void FrameNavigated(const std::string& frameId, const std::string& parentId,
                      const std::string& url);
  // Runtime.executionContextCreated: only a frame's default (main-world) context counts.
  void ContextCreated(long long contextId, const std::string& frameId, bool isDefault);
  void ContextDestroyed(long long contextId);
  void ContextsCleared();

  // The top-level document's URL when the context is that document's main world,
  // nothing for a child frame, an isolated world or an unknown context.
  [[nodiscard]] std::optional<std::string> TopLevelSource(long long contextId) const;
  [[nodiscard]] const std::string& topUrl() const { return topUrl_; }

 private:
  std::string topFrameId_;
  std::string topUrl_ = "about:blank";
  std::map<long long, std::string> contextFrames_;
};
