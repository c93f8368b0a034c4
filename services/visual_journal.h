#pragma once
// The visual journal's text work: capture request files, the upload body and the
// trade-filled notice. All values are UTF-8; the upload body escapes them as JSON.
#include <cstdint>
#include <string>

struct CaptureRequest {
  std::string ticket;
  std::string symbol;
  std::string action;
  std::string userId;
  std::string accountNumber;
  std::string uploadUrl;
};

// KEY=value lines read as every bridge file's (bridge/key_value.h); exact keys; the later
// line wins. An absent or empty FIREBASE_URL gives defaultUploadUrl.
[[nodiscard]] CaptureRequest ParseCaptureRequest(const std::string& body,
                                                 const std::string& defaultUploadUrl);

// "QV_Capture_Request_" + anything + ".txt", letters compared without case. The directory pattern
// alone is not enough: FindFirstFileW also matches on short 8.3 names, which can let other names
// through.
[[nodiscard]] bool IsCaptureRequestName(const std::wstring& name);

// "QV_TV_" + SYMBOL + "_" + ACTION + "_" + TICKET + ".png"
[[nodiscard]] std::string CaptureUploadFileName(const CaptureRequest& request);

// One-line JSON object with its members in the fixed order the service expects; request
// values are escaped as JSON strings (ordinary values come out unchanged).
[[nodiscard]] std::string CaptureUploadBody(const CaptureRequest& request,
                                            const std::string& base64Png, std::uint64_t pngBytes);

[[nodiscard]] std::string TradeFilledNotice(const CaptureRequest& request);

// An https address, or plain http to this machine only (127.0.0.1 or localhost).
[[nodiscard]] bool IsAllowedUploadUrl(const std::string& url);
