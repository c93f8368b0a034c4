// What the overlay does when WebView2 lets it down: a capture that never completes, a
// renderer or browser that dies, an environment or controller that cannot be created.
#include <gtest/gtest.h>

#include "overlay/capture_gate.h"
#include "overlay/webview_recovery.h"

namespace {

// Fault guarded: a capture every 4 s while WebView2 completed none piled up open files, and
// a completion that came late published an old picture over a newer one.
TEST(CaptureGate, OneCaptureInFlightGivenUpWhenOverdue) {
  CaptureGate gate(10000);
  EXPECT_EQ(gate.Admit(1000), CaptureGate::Admission::kStart);
  const std::uint64_t first = gate.Start(1000);
  EXPECT_EQ(gate.Admit(5000), CaptureGate::Admission::kBusy);
  EXPECT_EQ(gate.Admit(10999), CaptureGate::Admission::kBusy);
  EXPECT_EQ(gate.Admit(11000), CaptureGate::Admission::kStartGivingUp);
  // In time: current, and the gate is free again.
  EXPECT_TRUE(gate.Complete(first, 3000));
  EXPECT_EQ(gate.Admit(3000), CaptureGate::Admission::kStart);
  EXPECT_FALSE(gate.Complete(first, 3001)) << "a second completion counts for nothing";

  // Given up: a newer capture takes the gate; the old one's late completion is stale and
  // leaves the newer one in flight.
  const std::uint64_t slow = gate.Start(20000);
  ASSERT_EQ(gate.Admit(30000), CaptureGate::Admission::kStartGivingUp);
  const std::uint64_t newer = gate.Start(30000);
  EXPECT_NE(slow, newer);
  EXPECT_FALSE(gate.Complete(slow, 31000));
  EXPECT_EQ(gate.Admit(31000), CaptureGate::Admission::kBusy);
  EXPECT_TRUE(gate.Complete(newer, 32000));
  // Overdue and never replaced: its completion frees the gate but is not current.
  const std::uint64_t late = gate.Start(40000);
  EXPECT_FALSE(gate.Complete(late, 50000));
  EXPECT_EQ(gate.Admit(50000), CaptureGate::Admission::kStart);
  EXPECT_FALSE(gate.Complete(0, 50000));
}

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
