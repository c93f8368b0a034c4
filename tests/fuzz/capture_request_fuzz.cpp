// QV_Capture_Request_*.txt bodies: the parsed request written back parses to itself, and
// the upload body is JSON that carries every value exactly; a cut file reads differently only
// in its cut line.
#include "fuzz_support.h"
#include "host/json.h"
#include "services/visual_journal.h"

namespace {

bool Same(const CaptureRequest& a, const CaptureRequest& b) {
  return a.ticket == b.ticket && a.symbol == b.symbol && a.action == b.action &&
         a.userId == b.userId && a.accountNumber == b.accountNumber && a.uploadUrl == b.uploadUrl;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body = fuzz::Bytes(data, size);
  const std::string fallback = "https://cloud.example/vantrelVisualJournalApi";
  const CaptureRequest request = ParseCaptureRequest(body, fallback);
  FUZZ_CHECK(!request.uploadUrl.empty());
  const std::string written = "TICKET=" + request.ticket + "\nSYMBOL=" + request.symbol +
                              "\r\nACTION=" + request.action + "\nUSER_ID=" + request.userId +
                              "\nACCOUNT_NUM=" + request.accountNumber +
                              "\nFIREBASE_URL=" + request.uploadUrl + "\n";
  FUZZ_CHECK(Same(ParseCaptureRequest(written, fallback), request));

  JsonValue upload;
  FUZZ_CHECK(ParseJson(CaptureUploadBody(request, "iVBORw0KGgo=", 8), &upload));
  FUZZ_CHECK(upload.StringAt("userId") == request.userId);
  FUZZ_CHECK(upload.StringAt("account_number") == request.accountNumber);
  FUZZ_CHECK(upload.StringAt("symbol") == request.symbol);
  FUZZ_CHECK(upload.StringAt("event_type") == request.action);
  FUZZ_CHECK(upload.StringAt("filename") == CaptureUploadFileName(request));
  FUZZ_CHECK(upload.StringAt("action") == "upload_screenshot");
  FUZZ_CHECK(upload.IntegerAt("file_size", -1) == 8);

  // A cut file keeps the meaning of every line it left whole.
  fuzz::ForEachCut(body, [&](const std::string& prefix, const auto& mentions) {
    const CaptureRequest half = ParseCaptureRequest(prefix, fallback);
    const std::pair<const char*, std::string CaptureRequest::*> fields[] = {
        {"TICKET", &CaptureRequest::ticket},
        {"SYMBOL", &CaptureRequest::symbol},
        {"ACTION", &CaptureRequest::action},
        {"USER_ID", &CaptureRequest::userId},
        {"ACCOUNT_NUM", &CaptureRequest::accountNumber},
        {"FIREBASE_URL", &CaptureRequest::uploadUrl}};
    for (const auto& [key, member] : fields) {
      if (!mentions(key)) FUZZ_CHECK(half.*member == request.*member);
    }
  });
  return 0;
}
