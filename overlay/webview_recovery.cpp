#include "overlay/webview_recovery.h"

std::uint64_t CreationBackoffMs(int failures) {
  static constexpr std::uint64_t kSteps[] = {1000, 2000, 5000, 15000, 30000, 60000};
  constexpr int kLast = static_cast<int>(sizeof kSteps / sizeof kSteps[0]) - 1;
  if (failures < 0) failures = 0;
  return kSteps[failures > kLast ? kLast : failures];
}

RecoveryDecision WebViewRecovery::OnFailure(WebViewFailure failure, std::uint64_t nowTick) {
  RecoveryDecision decision;
  switch (failure) {
    case WebViewFailure::kRendererExited:
    case WebViewFailure::kRendererUnresponsive:
      while (!reloads_.empty() && nowTick - reloads_.front() >= kReloadWindowMs) {
        reloads_.pop_front();
      }
      if (static_cast<int>(reloads_.size()) >= kMaxReloads) {
        decision.step = RecoveryStep::kRestartChild;
        return decision;
      }
      reloads_.push_back(nowTick);
      decision.step = RecoveryStep::kReload;
      return decision;
    case WebViewFailure::kBrowserExited:
      // The browser that was there is gone: the first new attempt goes soon, at the pace
      // of any failures already counted.
      decision.step = RecoveryStep::kRecreate;
      decision.delayMs = CreationBackoffMs(creationFailures_);
      return decision;
    case WebViewFailure::kCreationFailed:
      ++creationFailures_;
      if (creationFailures_ >= kMaxCreationFailures) {
        decision.step = RecoveryStep::kRestartChild;
        return decision;
      }
      decision.step = RecoveryStep::kRecreate;
      decision.delayMs = CreationBackoffMs(creationFailures_ - 1);
      return decision;
  }
  return decision;
}

void WebViewRecovery::OnWebViewReady() {
  creationFailures_ = 0;
}
