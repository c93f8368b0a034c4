// The .mq5 programs themselves, compiled over the shim: the advisor's handlers with its
// inputs (the Strategy Tester refused, the largest-lot input on every opening order, the
// key that asks again for the overlay) and the self-check script a trader runs once.
#include <dirent.h>

#include "bridge/order_account.h"
#include "companion_fixture.h"
#include "daemon/launch_request.h"

// The advisor's handlers and inputs (globals of Quorvale_Workspace_MT5.mq5) and the script.
int OnInit();
void OnDeinit(const int reason);
void OnTimer();
void OnChartEvent(const int id, const long& lparam, const double& dparam, const string& sparam);
void OnStart();
extern double InpMaxLots;
extern int g_checkFailed;

namespace {

class CompanionAdvisor : public CompanionTest {
 protected:
  void SetUp() override {
    CompanionTest::SetUp();
    shim::S().chartHandle = 7001;
    shim::S().chartSymbol = "EURUSD";
    shim::S().chartPeriod = PERIOD_H1;
    InpMaxLots = 5.0;
  }
  void TearDown() override {
    OnDeinit(REASON_REMOVE);
    CompanionTest::TearDown();
  }
};

TEST_F(CompanionAdvisor, RefusesTheStrategyTester) {
  shim::S().tester = true;
  EXPECT_EQ(OnInit(), INIT_FAILED);
  shim::S().tester = false;
  shim::S().optimization = true;
  EXPECT_EQ(OnInit(), INIT_FAILED);
  EXPECT_TRUE(shim::LogContains("does not run in the Strategy Tester"));
  EXPECT_FALSE(Has("QV_Launch_7001.txt")) << "a backtest announces no chart";
  EXPECT_FALSE(Has("QV_Chart_7001.txt"));
}

TEST_F(CompanionAdvisor, LargestLotInputCapsEveryOpeningOrder) {
  UseOrderFiles();
  InpMaxLots = 0.5;
  ASSERT_EQ(OnInit(), INIT_SUCCEEDED);
  Put("QV_Order_1.csv", "1,BUY,1.00,EURUSD,0,0\n");
  Put("QV_Order_2.csv", "2,SELL,0.50,EURUSD,0,0\n");
  OnTimer();
  EXPECT_EQ(Result("1", "REASON"), "1 lots is above the largest order of 0.5 lots (InpMaxLots)");
  EXPECT_EQ(Result("2", "STATUS"), "EXECUTED");
  EXPECT_EQ(shim::S().sends, 1);
}

// lparam is a virtual-key code: 'Q' (0x51) is the Q key in either case, 0x71 is F2.
TEST_F(CompanionAdvisor, OnlyTheQKeyAsksForTheOverlayAgain) {
  ASSERT_EQ(OnInit(), INIT_SUCCEEDED);
  unlink(Path("QV_Launch_7001.txt").c_str());
  const long f2 = 0x71;
  OnChartEvent(CHARTEVENT_KEYDOWN, f2, 0, "");
  EXPECT_FALSE(Has("QV_Launch_7001.txt")) << "F2 is not Q";
  const long q = 'Q';
  OnChartEvent(CHARTEVENT_KEYDOWN, q, 0, "");
  EXPECT_TRUE(Has("QV_Launch_7001.txt"));
}

// Write -> read: the launch request the advisor writes is the chart the daemon starts.
TEST_F(CompanionAdvisor, ItsLaunchRequestReadsBackAsItsChart) {
  ASSERT_EQ(OnInit(), INIT_SUCCEEDED);
  const std::string body = Get("QV_Launch_7001.txt");
  const LaunchRequest request = ParseLaunchRequest(body);
  EXPECT_EQ(ParseHandleDigits(HandleDigits(request.handleText)), 7001u) << body;
  EXPECT_EQ(request.symbol, "EURUSD");
  EXPECT_EQ(request.interval, "60");
  EXPECT_EQ(LaunchRequestAccount(body), std::to_string(shim::S().login));
  EXPECT_TRUE(IsLaunchRequestFileName(L"QV_Launch_7001.txt"));
}

class CompanionSelfCheck : public CompanionTest {};

TEST_F(CompanionSelfCheck, PassesOnAFaithfulTerminalAndSaysWhatFails) {
  OnStart();
  EXPECT_EQ(g_checkFailed, 0);
  EXPECT_EQ(shim::LogCount("Quorvale self-check: PASS"), 4);
  EXPECT_TRUE(shim::LogContains("the file clock runs on none of the three"))
      << "the fixture's file clock is on neither local time, UTC nor server time";
  EXPECT_TRUE(shim::LogContains("Quorvale self-check: all passed"));
  if (DIR* dir = opendir((root + "/QuorvaleCompanion").c_str())) {
    while (dirent* e = readdir(dir))
      EXPECT_EQ(std::string(e->d_name).find("SelfCheck"), std::string::npos)
          << e->d_name << " left behind";
    closedir(dir);
  }

  shim::S().log.clear();
  shim::M().fileClockStopped = true;
  OnStart();
  EXPECT_EQ(g_checkFailed, 1);
  EXPECT_TRUE(
      shim::LogContains("Quorvale self-check: FAIL a file written 2.5 s later is dated 0 s"));
  EXPECT_TRUE(shim::LogContains("Quorvale self-check: 1 failed; see the README, self-check"));
}

}  // namespace
