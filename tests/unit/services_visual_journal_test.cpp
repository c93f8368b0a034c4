#include <gtest/gtest.h>
#include <random>

#include "services/visual_journal.h"

namespace {

const std::string kDefault = "https://cloud.example/vantrelVisualJournalApi";

TEST(CaptureRequestFile, CrlfAndLfParseAlike) {
  const std::string lf = "TICKET=991\nSYMBOL=EURUSD\nACTION=BUY\nUSER_ID=u1\nACCOUNT_NUM=5001\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& body : {lf, crlf}) {
    const CaptureRequest r = ParseCaptureRequest(body, kDefault);
    EXPECT_EQ(r.ticket, "991");
    EXPECT_EQ(r.symbol, "EURUSD");
    EXPECT_EQ(r.action, "BUY");
    EXPECT_EQ(r.userId, "u1");
    EXPECT_EQ(r.accountNumber, "5001");
    EXPECT_EQ(r.uploadUrl, kDefault);
  }
}

TEST(CaptureRequestFile, KeyRules) {
  const CaptureRequest r = ParseCaptureRequest(
      "SYMBOL=GBPUSD\nSYMBOL=XAUUSD  \r\n"        // later line wins, end blanks trimmed
      "FIREBASE_URL=https://x.test/up?a=1&b=2\n"  // "=" inside the value stays
      " TICKET=1\n"                               // blank before the key: no match
      "ACTION \r=SELL\n"                          // blanks and CR at the key's end trimmed
      "USER_ID=\tme\n"                            // blanks after "=" dropped, as in launch requests
      "symbol=lower\nnoequals\n=orphan\nACCOUNT_NUM",  // wrong case, no "=", no key
      kDefault);
  EXPECT_EQ(r.symbol, "XAUUSD");
  EXPECT_EQ(r.uploadUrl, "https://x.test/up?a=1&b=2");
  EXPECT_EQ(r.ticket, "");
  EXPECT_EQ(r.action, "SELL");
  EXPECT_EQ(r.userId, "me");
  EXPECT_EQ(r.accountNumber, "");
}

TEST(CaptureRequestFile, EmptyUploadUrlKeepsTheDefault) {
  EXPECT_EQ(ParseCaptureRequest("FIREBASE_URL=\n", kDefault).uploadUrl, kDefault);
  EXPECT_EQ(ParseCaptureRequest("FIREBASE_URL=   \r\n", kDefault).uploadUrl, kDefault);
  EXPECT_EQ(ParseCaptureRequest("FIREBASE_URL=http://a\nFIREBASE_URL=\n", kDefault).uploadUrl,
            kDefault);
  const CaptureRequest none = ParseCaptureRequest("", kDefault);
  EXPECT_EQ(none.uploadUrl, kDefault);
  EXPECT_EQ(CaptureUploadFileName(none), "QV_TV___.png");
}

TEST(CaptureRequestFile, NamesFollowThePatternWithoutLetterCase) {
  EXPECT_TRUE(IsCaptureRequestName(L"QV_Capture_Request_123.txt"));
  EXPECT_TRUE(IsCaptureRequestName(L"QV_Capture_Request_.txt"));
  EXPECT_FALSE(IsCaptureRequestName(L"QV_Capture_Request_1.txt2"));
  // Letter case is ignored, as for launch requests: such a fill was never journaled.
  EXPECT_TRUE(IsCaptureRequestName(L"QV_Capture_Request_1.TXT"));
  EXPECT_TRUE(IsCaptureRequestName(L"qv_capture_request_1.txt"));
  EXPECT_FALSE(IsCaptureRequestName(L"QV_Capture_Request.txt"));
}

TEST(UploadBody, ExactTextWithMembersInOrder) {
  CaptureRequest r;
  r.ticket = "7781";
  r.symbol = "XAUUSD";
  r.action = "SELL";
  r.userId = "trader-1";
  r.accountNumber = "50012";
  r.uploadUrl = kDefault;
  EXPECT_EQ(CaptureUploadFileName(r), "QV_TV_XAUUSD_SELL_7781.png");
  EXPECT_EQ(
      CaptureUploadBody(r, "iVBORw==", 4),
      "{\"action\":\"upload_screenshot\",\"userId\":\"trader-1\",\"account_number\":\"50012\","
      "\"filename\":\"QV_TV_XAUUSD_SELL_7781.png\",\"image_data\":\"iVBORw==\","
      "\"event_type\":\"SELL\",\"symbol\":\"XAUUSD\","
      "\"description\":\"Quorvale Workspace Visual Auto Capture\",\"file_size\":4}");
  EXPECT_EQ(TradeFilledNotice(r),
            "\U0001F3AF *QUORVALE TRADE FILLED*\n\n\u2022 Symbol: *XAUUSD*\n\u2022 Action: *SELL*\n"
            "\u2022 Ticket: `#7781`\n\u2022 Visual Journal Synchronized");
}

// Values come from a bridge file anyone can write: a quote in ACTION used to end its member
// and add a second "userId" of the writer's choosing; a control byte broke the JSON.
TEST(UploadBody, EscapesRequestValuesAsJsonStrings) {
  CaptureRequest r;
  r.ticket = "1";
  r.symbol = "X\\Y";
  r.action = "BUY\",\"userId\":\"other";
  r.userId = "u\x01";
  r.accountNumber = "5";
  EXPECT_EQ(CaptureUploadBody(r, "AA==", 1),
            "{\"action\":\"upload_screenshot\",\"userId\":\"u\\u0001\",\"account_number\":\"5\","
            "\"filename\":\"QV_TV_X\\\\Y_BUY\\\",\\\"userId\\\":\\\"other_1.png\","
            "\"image_data\":\"AA==\",\"event_type\":\"BUY\\\",\\\"userId\\\":\\\"other\","
            "\"symbol\":\"X\\\\Y\",\"description\":\"Quorvale Workspace Visual Auto Capture\","
            "\"file_size\":1}");
}

// The upload carries the trader's chart picture: never in the clear to another machine.
TEST(UploadBody, OnlyHttpsOrThisMachineReceivesIt) {
  EXPECT_TRUE(IsAllowedUploadUrl("https://journal.example/upload"));
  EXPECT_TRUE(IsAllowedUploadUrl("HTTPS://journal.example/"));
  EXPECT_TRUE(IsAllowedUploadUrl("http://127.0.0.1:8080/journal/upload"));
  EXPECT_TRUE(IsAllowedUploadUrl("http://localhost/x"));
  EXPECT_FALSE(IsAllowedUploadUrl("http://journal.example/upload"));
  EXPECT_FALSE(IsAllowedUploadUrl("http://127.0.0.1.evil.test/upload"));
  EXPECT_FALSE(IsAllowedUploadUrl("http://localhost.evil.test/"));
  EXPECT_FALSE(IsAllowedUploadUrl("file:///C:/x"));
  EXPECT_FALSE(IsAllowedUploadUrl("https://"));
  EXPECT_FALSE(IsAllowedUploadUrl(""));
}

TEST(UploadBody, EmptyRequestStillMakesACompleteBody) {
  const CaptureRequest r = ParseCaptureRequest("", kDefault);
  EXPECT_EQ(CaptureUploadBody(r, "", 0),
            "{\"action\":\"upload_screenshot\",\"userId\":\"\",\"account_number\":\"\","
            "\"filename\":\"QV_TV___.png\",\"image_data\":\"\",\"event_type\":\"\",\"symbol\":\"\","
            "\"description\":\"Quorvale Workspace Visual Auto Capture\",\"file_size\":0}");
  EXPECT_EQ(TradeFilledNotice(r),
            "\U0001F3AF *QUORVALE TRADE FILLED*\n\n\u2022 Symbol: **\n\u2022 Action: **\n"
            "\u2022 Ticket: `#`\n\u2022 Visual Journal Synchronized");
}

}  // namespace
