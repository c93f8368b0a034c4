#include <gtest/gtest.h>
#include <thread>

#include "services/http_client.h"

namespace {

TEST(PostsInFlight, ExitWaitsForTheLastPostAndGivesUpWhenOneHangs) {
  PostsInFlight posts;
  EXPECT_TRUE(posts.WaitUntilIdle(std::chrono::milliseconds(0)));
  posts.Begin();
  posts.Begin();
  std::thread finisher([&posts] {
    posts.End();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    posts.End();
  });
  EXPECT_TRUE(posts.WaitUntilIdle(std::chrono::seconds(10)));
  finisher.join();
  EXPECT_EQ(posts.Count(), 0u);
  posts.Begin();
  EXPECT_FALSE(posts.WaitUntilIdle(std::chrono::milliseconds(20)));
  EXPECT_EQ(posts.Count(), 1u);
  // A surplus end never wraps the count round to "billions in flight".
  posts.End();
  posts.End();
  EXPECT_TRUE(posts.WaitUntilIdle(std::chrono::milliseconds(0)));
}

TEST(HttpRequestFlags, TlsOnlyForHttps) {
  EXPECT_EQ(HttpRequestFlags(true), 0x84800000u);
  EXPECT_EQ(HttpRequestFlags(false), 0x84000000u);
  EXPECT_TRUE(IsHttpsUrl(L"https://api.telegram.org/bot1/getUpdates"));
  EXPECT_TRUE(IsHttpsUrl(L"HTTPS://X"));
  EXPECT_FALSE(IsHttpsUrl(L"http://127.0.0.1:8080/getCOTData"));
  EXPECT_FALSE(IsHttpsUrl(L"https"));
  EXPECT_FALSE(IsHttpsUrl(L"httpsx://a"));
  EXPECT_FALSE(IsHttpsUrl(L""));
}

TEST(HttpRequestFlags, ReceiveTimeOutOutlastsTheLongPoll) {
  EXPECT_GT(kReceiveTimeoutMs, 3000u + 2000u);
  EXPECT_GT(kConnectTimeoutMs, 0u);
  EXPECT_GT(kSendTimeoutMs, 0u);
}

TEST(Endpoints, OverrideReplacesTheBuiltInValue) {
  EXPECT_EQ(ChooseBaseUrl(L"", kTelegramApiBaseUrl), L"https://api.telegram.org");
  EXPECT_EQ(ChooseBaseUrl(L"http://127.0.0.1:5000", kCloudBaseUrl), L"http://127.0.0.1:5000");
  EXPECT_EQ(ChooseBaseUrl(L"http://127.0.0.1:5000//", kCloudBaseUrl), L"http://127.0.0.1:5000");
  EXPECT_EQ(ChooseBaseUrl(L"/", kCloudBaseUrl), kCloudBaseUrl) << "nothing left means unset";
  EXPECT_TRUE(IsHttpsUrl(kCloudBaseUrl)) << "built-in endpoints are encrypted";
  EXPECT_TRUE(IsHttpsUrl(kTelegramApiBaseUrl));
}

}  // namespace
