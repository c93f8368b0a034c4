#include <gtest/gtest.h>

#include "bridge/leftover_temporaries.h"

namespace {

TEST(LeftoverTemporaries, NamesTheWriterOfOurOwnTemporaryFiles) {
  EXPECT_EQ(LeftoverTemporaryWriter(L"temp_capture_123456789_4321_7.png"), 4321u);
  EXPECT_EQ(LeftoverTemporaryWriter(L"temp_chart_88_2.png"), 88u);
  EXPECT_EQ(LeftoverTemporaryWriter(L"~QV_COTData.json.1204_1300_5.tmp"), 1204u);
  EXPECT_EQ(LeftoverTemporaryWriter(L"~QV_AICopilotChart.png.9_10_11.tmp"), 9u);
  EXPECT_EQ(LeftoverTemporaryWriter(L"~QV_AICopilotChart_65552.png.9_10_11.tmp"), 9u);
}

// Everything else in the folder belongs to the companion, a reader or a live write of
// another kind, and is never swept.
TEST(LeftoverTemporaries, LeavesEveryOtherName) {
  for (const wchar_t* name : {L"QV_COTData.json",
                              L"QV_AICopilotChart.png",
                              L"QV_AICopilotChart_65552.png",
                              L"temp_capture_1_2.png",
                              L"temp_capture_1_2_3_4.png",
                              L"temp_capture_1_x_3.png",
                              L"temp_capture_1__3.png",
                              L"temp_capture_1_2_3.txt",
                              L"temp_chart_.png",
                              L"temp_chart_1_2_3.png",
                              L"Temp_chart_1_2.png",
                              L"temp_chart_0_1.png",
                              L"temp_chart_99999999999_1.png",
                              L"~QV_Order_17.csv.1_2_3.tmp",
                              L"~QV_Active_65552.txt.1_2_3.tmp",
                              L"~QV_COTData.json.1_2.tmp",
                              L"~QV_COTData.json.1_2_3.TMP",
                              L"QV_COTData.json.1_2_3.tmp",
                              L"~QV_AICopilotChart_.png.1_2_3.tmp",
                              L"~QV_AICopilotChart_1x.png.1_2_3.tmp",
                              L"QV_CaptureClaim_1_2_3.tmp",
                              L"QV_Capture_Request_7.txt",
                              L"",
                              L"~.tmp"}) {
    EXPECT_EQ(LeftoverTemporaryWriter(name), 0u) << std::wstring(name).size();
  }
}

}  // namespace
