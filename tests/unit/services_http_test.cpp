#include <gtest/gtest.h>

#include "services/endpoints.h"
#include "services/http_flags.h"

namespace {

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
