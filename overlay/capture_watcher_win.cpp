#include <windows.h>

#include <string>

#include "bridge/base64.h"
#include "bridge/bridge_names.h"
#include "bridge/leftover_temporaries.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/capture_watcher.h"
#include "overlay/chart_picture.h"
#include "overlay/webview_host.h"
#include "services/capture_requests.h"
#include "services/http_client.h"
#include "services/telegram.h"
#include "services/visual_journal.h"

namespace {

// Several requests found in one tick, or two processes capturing in the same
// millisecond, would otherwise write the same temporary file.
std::wstring TemporaryCapturePath() {
  static unsigned counter = 0;
  return BridgePath(g_folders.bridge, std::wstring(kCaptureTemporaryPrefix) +
                                          std::to_wstring(::GetTickCount64()) + L"_" +
                                          std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                          std::to_wstring(++counter) + L".png");
}

void OnCaptureCompleted(const std::wstring& temporaryPath, const CaptureRequest& request,
                        HRESULT result) {
  std::string png;
  const bool read = SUCCEEDED(result) && ReadFileBytes(temporaryPath, kPictureFileCapBytes, &png);
  ::DeleteFileW(temporaryPath.c_str());
  if (!read || png.empty()) {
    // The request is claimed already: without this line the fill would silently have no
    // picture in the journal.
    LogDebug("Visual journal capture for ticket " + request.ticket + " failed (HRESULT " +
             std::to_string(static_cast<long>(result)) + "); nothing uploaded.");
    return;
  }
  const std::string body = CaptureUploadBody(request, Base64Encode(png), png.size());
  // Whether the upload will succeed is never known; the notice goes out regardless.
  if (!IsAllowedUploadUrl(request.uploadUrl)) {
    LogDebug("Visual journal upload refused: not an https address.");
  } else if (!PostJsonAsync(Utf8ToWide(request.uploadUrl), body)) {
    LogDebug("Visual journal upload could not start.");
  }
  const TelegramConfig config = ReadTelegramConfig();
  if (config.usable()) SendTelegramMessage(config.token, config.chatId, TradeFilledNotice(request));
}

}  // namespace

void CaptureRequestWatcher() {
  // Without a WebView there is nothing to capture, and a hidden one captures nothing (its
  // capture would never complete); the requests stay for a process that can (or for this
  // one, once its page is back) instead of being thrown away.
  if (!PageCanBeCaptured()) return;
  for (const CaptureRequest& request : ClaimCaptureRequests()) {
    // Which overlay took it: a request naming a chart must be journaled from that chart.
    LogDebug("Visual journal capture for ticket " + request.ticket +
             " taken by the overlay of HWND: " + std::to_string(g_launch.chartWindow));
    const std::wstring path = TemporaryCapturePath();
    if (!CapturePreviewToFile(
            path, [path, request](HRESULT result) { OnCaptureCompleted(path, request, result); })) {
      ::DeleteFileW(path.c_str());
      LogDebug("Visual journal capture for ticket " + request.ticket +
               " could not start; nothing uploaded.");
    }
  }
}
