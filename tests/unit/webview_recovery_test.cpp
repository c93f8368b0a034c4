// What the overlay does when WebView2 lets it down: a renderer or browser that dies, an
// environment or controller that cannot be created.
#include "overlay/webview_recovery.h"

#include <gtest/gtest.h>

namespace {

// Fault guarded: a crashed renderer left an error page for good; a page that crashes on
// every load must not be reloaded for ever either.
TEST(WebViewRecovery, ARendererThatDiesIsReloadedABoundedNumberOfTimes) {
  WebViewRecovery recovery;
  for (int i = 0; i < kMaxReloads; ++i) {
    EXPECT_EQ(recovery.OnFailure(WebViewFailure::kRendererExited, 1000 + i).step,
              RecoveryStep::kReload);
  }
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kRendererUnresponsive, 2000).step,
            RecoveryStep::kRestartChild);
  // Ten minutes after the first reload it no longer counts, and there is room for one more.
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kRendererExited, 1000 + kReloadWindowMs).step,
            RecoveryStep::kReload);
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kRendererExited, 1000 + kReloadWindowMs).step,
            RecoveryStep::kRestartChild);
}

// Fault guarded: a browser that died, or an environment refused once (a runtime update),
// left the chart without an overlay until the trader re-attached the advisor.
TEST(WebViewRecovery, ALostBrowserOrAFailedCreationIsRetriedWithBackoffThenRestarts) {
  WebViewRecovery recovery;
  const RecoveryDecision lost = recovery.OnFailure(WebViewFailure::kBrowserExited, 0);
  EXPECT_EQ(lost.step, RecoveryStep::kRecreate);
  EXPECT_EQ(lost.delayMs, 1000u);
  std::uint64_t previous = 0;
  for (int i = 1; i < kMaxCreationFailures; ++i) {
    const RecoveryDecision d = recovery.OnFailure(WebViewFailure::kCreationFailed, 0);
    ASSERT_EQ(d.step, RecoveryStep::kRecreate) << i;
    EXPECT_GE(d.delayMs, previous) << i;
    EXPECT_LE(d.delayMs, 60000u) << i;
    previous = d.delayMs;
  }
  EXPECT_EQ(previous, 60000u);
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kCreationFailed, 0).step,
            RecoveryStep::kRestartChild);
  // A view that came up starts the count afresh: the next loss is retried soon again.
  recovery.OnWebViewReady();
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kCreationFailed, 0).delayMs, 1000u);
  EXPECT_EQ(recovery.OnFailure(WebViewFailure::kBrowserExited, 0).delayMs, 2000u);
}

}  // namespace
