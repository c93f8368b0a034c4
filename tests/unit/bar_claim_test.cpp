#include "overlay/bar_claim.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// The claim's fields become a bridge file name and its content: only the forms the page
// writes pass, so no request can name a path, another kind of file or an empty claim.
TEST(BarClaim, AcceptsThePagesFormOnly) {
  BarClaim c;
  ASSERT_TRUE(ParseBarClaim("XAUUSD,1772618400,0f3a9c7e11b2d4e5", &c));
  EXPECT_EQ(c.instrument, "XAUUSD");
  EXPECT_EQ(c.bar, "1772618400");
  EXPECT_EQ(c.token, "0f3a9c7e11b2d4e5");
  EXPECT_EQ(BarClaimFileName(c), "QV_ATClaim_XAUUSD_1772618400.txt");
  ASSERT_TRUE(ParseBarClaim("US100.cash-x_1,7,ABCDEFGH", &c));
  EXPECT_EQ(BarClaimFileName(c), "QV_ATClaim_US100.cash-x_1_7.txt");

  const char* refused[] = {
      "",
      "XAUUSD,1000",           // no token
      "XAUUSD,1000,short",     // token under 8
      ",1000,abcdefgh",        // no instrument
      "XAUUSD,,abcdefgh",      // no bar
      "XAUUSD,10a0,abcdefgh",  // bar not decimal
      "XAUUSD,-1,abcdefgh",    // no sign
      "..\\x,1000,abcdefgh",   // path characters
      "..,1000,abcdefgh",      // dots only
      "XAU/USD,1000,abcdefgh",
      "XAUUSD,1000,abcdefgh,extra",  // a comma in the token
      "XAUUSD,1000,abcd efgh",
      "XAUUSD,1000,abcdefgh\r\n",
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456,1,abcdefgh",  // 33 characters
      "XAUUSD,123456789012345678901,abcdefgh",         // 21 digits
  };
  for (const char* r : refused) {
    BarClaim untouched;
    untouched.instrument = "kept";
    EXPECT_FALSE(ParseBarClaim(r, &untouched)) << r;
    EXPECT_EQ(untouched.instrument, "kept") << r;
  }
  EXPECT_TRUE(ParseBarClaim(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,12345678901234567890," + std::string(64, 'a'), &c));
  EXPECT_FALSE(ParseBarClaim("X,1," + std::string(65, 'a'), &c));
}

TEST(BarClaim, ExpiresAfterTwoDays) {
  EXPECT_FALSE(IsExpiredBarClaim(0));
  EXPECT_FALSE(IsExpiredBarClaim(kBarClaimKeepMs));
  EXPECT_TRUE(IsExpiredBarClaim(kBarClaimKeepMs + 1));
}

}  // namespace
