#include "services/visual_journal.h"

#include "bridge/request_target.h"
#include "host/string_literal.h"

namespace {

// A JSON string's contents: the request file is written by the terminal side, and a quote
// or control character in a value must not change the body's shape.
std::string JsonText(const std::string& text) {
  const std::string literal = JsStringLiteral(text);
  return literal.substr(1, literal.size() - 2);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void TrimEnd(std::string& text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
}

}  // namespace

CaptureRequest ParseCaptureRequest(const std::string& body, const std::string& defaultUploadUrl) {
  CaptureRequest request;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    TrimEnd(key);
    TrimEnd(value);
    if (key == "TICKET") {
      request.ticket = value;
    } else if (key == "SYMBOL") {
      request.symbol = value;
    } else if (key == "ACTION") {
      request.action = value;
    } else if (key == "USER_ID") {
      request.userId = value;
    } else if (key == "ACCOUNT_NUM") {
      request.accountNumber = value;
    } else if (key == "FIREBASE_URL") {
      request.uploadUrl = value;
    }
  }
  if (request.uploadUrl.empty()) request.uploadUrl = defaultUploadUrl;
  return request;
}

bool IsCaptureRequestName(const std::wstring& name) {
  // Case-insensitive, as the file system and the launch request names are: a companion
  // writing "qv_capture_request_1.TXT" must not have its fill go unjournaled.
  return StartsAndEndsWithNoCase(name, L"QV_Capture_Request_", L".txt");
}

std::string Base64Encode(const std::string& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group =
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
        static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(kAlphabet[(group >> 6) & 0x3F]);
    out.push_back(kAlphabet[group & 0x3F]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2)
      group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 0x3F]);
    out.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
    out.push_back('=');
  }
  return out;
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
  const std::string lower = Lower(url);
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
