// Which process takes a capture or evaluation request that names a chart ("HWND="), and
// the heartbeat rule that tells whether that chart's process runs.
#include <gtest/gtest.h>

#include "bridge/request_target.h"

namespace {

TEST(RequestChartHandle, ReadsTheLastHwndLineDigitsOnly) {
  EXPECT_EQ(RequestChartHandle("TICKET=1\nHWND=5678\nSYMBOL=X"), 5678u);
  EXPECT_EQ(RequestChartHandle("HWND=1\r\nHWND = 0x22\r\n"), 22u);  // later line, digits only
  EXPECT_EQ(RequestChartHandle("EVAL"), 0u);
  EXPECT_EQ(RequestChartHandle("HWND="), 0u);
  EXPECT_EQ(RequestChartHandle(" HWND=9"), 0u);  // an indented key does not match
  EXPECT_EQ(RequestChartHandle("hwnd=9"), 0u);   // keys are case-sensitive
  // An overflowing number must not wrap round to some other chart's handle.
  EXPECT_EQ(RequestChartHandle("HWND=99999999999999999999999"), 0u);
  EXPECT_EQ(RequestChartHandle(EvalRequestBody(4242)), 4242u);
  EXPECT_EQ(EvalRequestBody(0), "EVAL");
}

TEST(HeartbeatFreshness, OnlyARecentActiveLineCounts) {
  EXPECT_TRUE(IsHeartbeatFresh("ACTIVE=100000", 100000 + kHeartbeatFreshMs));
  EXPECT_FALSE(IsHeartbeatFresh("ACTIVE=100000", 100001 + kHeartbeatFreshMs));
  EXPECT_TRUE(IsHeartbeatFresh("ACTIVE=100500", 100000));    // written a moment "after" now
  EXPECT_FALSE(IsHeartbeatFresh("ACTIVE=999999999", 1000));  // an earlier boot's tick
  EXPECT_FALSE(IsHeartbeatFresh("", 1000));
  EXPECT_FALSE(IsHeartbeatFresh("ACTIVE=", 1000));
  EXPECT_FALSE(IsHeartbeatFresh("ACTIVE=12x", 12));
  EXPECT_FALSE(IsHeartbeatFresh("ACTIVE=99999999999999999999999", 1000));
}

TEST(RequestClaim, NamedChartsRequestsGoToThatChartWhileItRuns) {
  // Unnamed: today's any-process rule.
  EXPECT_TRUE(ShouldTakeRequest(111, 0, false, 0));
  // Own chart: at once.
  EXPECT_TRUE(ShouldTakeRequest(222, 222, true, 0));
  // Another chart whose process runs: never, however long it waits (the wrong picture
  // would be journaled for that fill).
  EXPECT_FALSE(ShouldTakeRequest(111, 222, true, 10 * kForeignRequestGraceMs));
  // Another chart with no running process: after the grace period only.
  EXPECT_FALSE(ShouldTakeRequest(111, 222, false, kForeignRequestGraceMs - 1));
  EXPECT_TRUE(ShouldTakeRequest(111, 222, false, kForeignRequestGraceMs));
  // A studio started for handle 0 is no chart of its own.
  EXPECT_FALSE(ShouldTakeRequest(0, 222, true, 0));
}

TEST(RequestClaim, WaitIsCountedFromTheFirstSightingWithoutLetterCase) {
  RequestWaitClock clock;
  EXPECT_EQ(clock.Waited(L"QV_Capture_Request_1.txt", 1000), 0u);
  EXPECT_EQ(clock.Waited(L"qv_capture_request_1.TXT", 4500), 3500u);
  clock.Retain({L"QV_Capture_Request_2.txt"});  // taken by someone else meanwhile
  EXPECT_EQ(clock.size(), 0u);
  EXPECT_EQ(clock.Waited(L"QV_Capture_Request_1.txt", 9000), 0u);  // a new request, same name
  clock.Forget(L"QV_CAPTURE_REQUEST_1.txt");
  EXPECT_EQ(clock.size(), 0u);
}

}  // namespace
