#include "services/visual_journal.h"

#include "bridge/bridge_names.h"
#include "bridge/key_value.h"
#include "host/ascii_text.h"
#include "host/json.h"

namespace {

// A JSON string's contents: the request file is written by the terminal side, and a quote
// or control character in a value must not change the body's shape.
std::string JsonText(const std::string& text) {
  const std::string quoted = JsonQuote(text);
  return quoted.substr(1, quoted.size() - 2);
}

}  // namespace

CaptureRequest ParseCaptureRequest(const std::string& body, const std::string& defaultUploadUrl) {
  CaptureRequest request;
  for (const KeyValue& line : ReadKeyValues(body)) {
    const std::string value(line.value);
    if (line.key == "TICKET") {
      request.ticket = value;
    } else if (line.key == "SYMBOL") {
      request.symbol = value;
    } else if (line.key == "ACTION") {
      request.action = value;
    } else if (line.key == "USER_ID") {
      request.userId = value;
    } else if (line.key == "ACCOUNT_NUM") {
      request.accountNumber = value;
    } else if (line.key == "FIREBASE_URL") {
      request.uploadUrl = value;
    }
  }
  if (request.uploadUrl.empty()) request.uploadUrl = defaultUploadUrl;
  return request;
}

bool IsCaptureRequestName(const std::wstring& name) {
  // Case-insensitive, as the file system and the launch request names are: a companion
  // writing "qv_capture_request_1.TXT" must not have its fill go unjournaled.
  return StartsAndEndsWithNoCase(name, WideName(kCaptureRequestPrefix), L".txt");
}

std::string CaptureUploadFileName(const CaptureRequest& request) {
  return "QV_TV_" + request.symbol + "_" + request.action + "_" + request.ticket + ".png";
}

std::string CaptureUploadBody(const CaptureRequest& request, const std::string& base64Png,
                              std::uint64_t pngBytes) {
  return "{\"action\":\"upload_screenshot\",\"userId\":\"" + JsonText(request.userId) +
         "\",\"account_number\":\"" + JsonText(request.accountNumber) + "\",\"filename\":\"" +
         JsonText(CaptureUploadFileName(request)) + "\",\"image_data\":\"" + base64Png +
         "\",\"event_type\":\"" + JsonText(request.action) + "\",\"symbol\":\"" +
         JsonText(request.symbol) +
         "\",\"description\":\"Quorvale Workspace Visual Auto Capture\",\"file_size\":" +
         std::to_string(pngBytes) + "}";
}

std::string TradeFilledNotice(const CaptureRequest& request) {
  return "\xF0\x9F\x8E\xAF *QUORVALE TRADE FILLED*\n\n"
         "\xE2\x80\xA2 Symbol: *" +
         request.symbol + "*\n\xE2\x80\xA2 Action: *" + request.action +
         "*\n\xE2\x80\xA2 Ticket: `#" + request.ticket +
         "`\n\xE2\x80\xA2 Visual Journal Synchronized";
}

bool IsAllowedUploadUrl(const std::string& url) {
  const std::string lower = AsciiLowered(url);
  if (lower.rfind("https://", 0) == 0) return lower.size() > 8;
  // Plain http only to this machine (a local relay or a test server): the picture and the
  // account number never cross a network unencrypted.
  for (const char* local : {"http://127.0.0.1", "http://localhost"}) {
    const std::string prefix = local;
    if (lower.rfind(prefix, 0) == 0 &&
        (lower.size() == prefix.size() || lower[prefix.size()] == ':' ||
         lower[prefix.size()] == '/')) {
      return true;
    }
  }
  return false;
}
