#include <windows.h>

#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/leftover_temporaries.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/chart_picture.h"
#include "overlay/page_readiness.h"
#include "overlay/webview_host.h"

namespace {

constexpr std::uint64_t kPicturePeriodMs = 4000;

struct PictureState {
  std::uint64_t lastCapture = 0;
  PageReadiness page;
  bool failureLogged = false;
};
PictureState g_picture;

std::wstring TemporaryPicturePath() {
  static unsigned counter = 0;
  return BridgePath(g_folders.bridge, std::wstring(kChartPictureTemporaryPrefix) +
                                          std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                          std::to_wstring(++counter) + L".png");
}

[[nodiscard]] bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return false;
    if (read == 0) return true;
    bytes->append(buffer, read);
  }
}

// The capture writes into a file of its own; only a finished, non-empty picture replaces
// the published ones, so the page never reads a half-written PNG.
void PublishPicture(const std::wstring& temporary, HRESULT result) {
  std::string png;
  const bool read = SUCCEEDED(result) && ReadWholeFile(temporary, &png);
  ::DeleteFileW(temporary.c_str());
  if (!read || png.empty()) return;
  const std::wstring own = BridgePath(
      g_folders.bridge, L"QV_AICopilotChart_" + std::to_wstring(g_launch.chartWindow) + L".png");
  const bool ownWritten = ReplaceFileWhole(own, png).ok();
  const bool sharedWritten =
      ReplaceFileWhole(BridgePath(g_folders.bridge, L"QV_AICopilotChart.png"), png).ok();
  if (ownWritten && sharedWritten) {
    g_picture.failureLogged = false;
    return;
  }
  // Once per failure spell, not every 4 s.
  if (!g_picture.failureLogged) {
    g_picture.failureLogged = true;
    LogDebug("Chart picture for the AI copilot could not be written to the bridge folder.");
  }
}

}  // namespace

void NoteChartNavigation() {
  g_picture.page.Navigated(::GetTickCount64());
}

void NotePageReported() {
  g_picture.page.PageReported(::GetTickCount64());
}

void CaptureChart() {
  if (!WebViewExists()) return;
  if (IsStudioMode(g_launch.mode)) return;
  const std::uint64_t now = ::GetTickCount64();
  if (g_picture.lastCapture != 0 && now - g_picture.lastCapture < kPicturePeriodMs) return;
  // A picture taken before the new page painted would show the previous symbol.
  if (!g_picture.page.ReadyForPicture(now)) return;
  // Stamped before the file is opened, so a failed open also waits the full 4 seconds.
  g_picture.lastCapture = now;
  const std::wstring temporary = TemporaryPicturePath();
  if (!CapturePreviewToFile(temporary,
                            [temporary](HRESULT result) { PublishPicture(temporary, result); })) {
    ::DeleteFileW(temporary.c_str());
  }
}
