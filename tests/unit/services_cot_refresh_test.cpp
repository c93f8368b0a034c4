#include <gtest/gtest.h>

#include "services/cot_refresh.h"

namespace {

constexpr std::uint64_t kMinute = 600000000ull;  // 100 ns units
constexpr std::uint64_t kNow = 133800000000000000ull;

TEST(CotFreshness, TwentyFourHourBoundary) {
  EXPECT_TRUE(IsCotFileFresh(kNow - (24 * 60 - 1) * kMinute, kNow)) << "23 h 59 min is fresh";
  EXPECT_FALSE(IsCotFileFresh(kNow - kCotFreshnessLimit, kNow)) << "exactly 24 h is stale";
  EXPECT_TRUE(IsCotFileFresh(kNow - kCotFreshnessLimit + 1, kNow));
  EXPECT_FALSE(IsCotFileFresh(0, kNow)) << "an unset stamp is ancient";
  EXPECT_TRUE(IsCotFileFresh(kNow, kNow));
}

TEST(CotFreshness, StampInTheFutureIsFreshWithoutWrapping) {
  EXPECT_TRUE(IsCotFileFresh(kNow + 1, kNow));
  EXPECT_TRUE(IsCotFileFresh(kNow + 100 * kCotFreshnessLimit, kNow));
  EXPECT_TRUE(IsCotFileFresh(~0ull, 0));
}

TEST(CotBody, LengthAndRecordsKeyDecideAcceptance) {
  const std::string key = "{\"records\":[";
  const std::string at200 = key + std::string(200 - key.size(), ' ');
  ASSERT_EQ(at200.size(), 200u);
  EXPECT_FALSE(IsAcceptableCotBody(at200)) << "exactly 200 bytes is too short";
  EXPECT_TRUE(IsAcceptableCotBody(at200 + "]"));
  EXPECT_FALSE(IsAcceptableCotBody(std::string(500, 'x'))) << "an error page of any length";
  EXPECT_FALSE(IsAcceptableCotBody(std::string(300, 'x') + "records"))
      << "the quotes belong to the key";
  EXPECT_TRUE(IsAcceptableCotBody(std::string(300, 'x') + "\"records\"")) << "anywhere in the body";
  EXPECT_FALSE(IsAcceptableCotBody(""));
}

TEST(CotBody, SavedLine) {
  EXPECT_EQ(CotSavedLogLine(201), "Successfully saved fresh QV_COTData.json (201 bytes).");
}

}  // namespace
