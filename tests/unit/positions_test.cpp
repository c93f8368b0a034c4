#include "overlay/positions.h"

#include <gtest/gtest.h>
#include <string>

TEST(PositionsPushGate, PushesOnlyWhenTheTimeOrTheTextMoved) {
  PositionsPushGate gate;
  const std::string one = R"([{"ticket":"1","profit":1.5}])";
  const std::string two = R"([{"ticket":"1","profit":2.5}])";
  EXPECT_EQ(gate.Decide(100, one), PositionsPush::kPush);
  EXPECT_EQ(gate.Decide(100, one), PositionsPush::kNothing);
  // Rewritten with the same text: the page is told again, as the tick always did.
  EXPECT_EQ(gate.Decide(101, one), PositionsPush::kPush);
  // New text inside one clock step of the file system.
  EXPECT_EQ(gate.Decide(101, two), PositionsPush::kPush);
  EXPECT_EQ(gate.Decide(101, two), PositionsPush::kNothing);
}

TEST(PositionsPushGate, AMissingOrHalfWrittenFileKeepsWhatWasPushed) {
  PositionsPushGate gate;
  EXPECT_EQ(gate.Decide(0, ""), PositionsPush::kNothing);
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kPush);
  EXPECT_EQ(gate.Decide(200, ""), PositionsPush::kNothing);
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kNothing);
}

TEST(PositionsPushGate, ANewDocumentGetsTheSameTextAgain) {
  PositionsPushGate gate;
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kPush);
  gate.Forget();
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kPush);
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kNothing);
}

TEST(PositionsPushGate, AnOversizedFileIsRefusedOncePerVersionAndNeverPushed) {
  PositionsPushGate gate;
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kPush);
  const std::string atCap(kPositionsPushCapBytes, ' ');
  const std::string overCap(kPositionsPushCapBytes + 1, ' ');
  EXPECT_EQ(gate.Decide(200, overCap), PositionsPush::kTooLarge);
  EXPECT_EQ(gate.Decide(200, overCap), PositionsPush::kNothing);
  EXPECT_EQ(gate.Decide(300, overCap), PositionsPush::kTooLarge);
  EXPECT_EQ(gate.Decide(300, overCap + " "), PositionsPush::kTooLarge);
  // The refusal did not count as a push: the earlier text, back again, is not news, and a
  // file at the cap itself still goes through.
  EXPECT_EQ(gate.Decide(100, "[]"), PositionsPush::kNothing);
  EXPECT_EQ(gate.Decide(400, atCap), PositionsPush::kPush);
}

TEST(PositionsStampWatch, WakesTheWindowOnlyForAMovedStamp) {
  PositionsStampWatch watch;
  const PositionsStamp absent{};
  const PositionsStamp first{true, 100, 30};
  EXPECT_TRUE(watch.Moved(absent));
  EXPECT_FALSE(watch.Moved(absent));
  EXPECT_TRUE(watch.Moved(first));
  EXPECT_FALSE(watch.Moved(first));
  EXPECT_TRUE(watch.Moved(PositionsStamp{true, 100, 31}));
  EXPECT_TRUE(watch.Moved(PositionsStamp{true, 101, 31}));
  EXPECT_TRUE(watch.Moved(absent));
}
