// When the chart picture may be taken: WebView2 may never complete a capture, and a page
// between a navigation and its first paint still shows the previous symbol.
#include "overlay/capture_gate.h"

#include <gtest/gtest.h>

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

// Fault guarded: a picture taken right after a symbol change showed the old symbol's chart
// to the copilot; a page without a HUD must still be captured in the end.
TEST(PageReadiness, NoPictureBetweenANavigationAndTheNewPagesPaint) {
  PageReadiness page;
  EXPECT_FALSE(page.ReadyForPicture(50000));  // before the first navigation
  page.Navigated(1000);
  EXPECT_FALSE(page.ReadyForPicture(1000 + kReportWaitLimitMs - 1));
  page.PageReported(3000);
  EXPECT_FALSE(page.ReadyForPicture(3000 + kPaintSettleMs - 1));
  EXPECT_TRUE(page.ReadyForPicture(3000 + kPaintSettleMs));
  // A fast series of symbol changes: each navigation withholds the picture again.
  page.Navigated(6000);
  EXPECT_FALSE(page.ReadyForPicture(7000));
  page.PageReported(7000);
  EXPECT_TRUE(page.ReadyForPicture(7000 + kPaintSettleMs));
  // A page that never reports (no HUD) is pictured after the wait limit.
  page.Navigated(20000);
  EXPECT_TRUE(page.ReadyForPicture(20000 + kReportWaitLimitMs));
}

}  // namespace
