#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/leftover_temporaries.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/capture_gate.h"
#include "overlay/chart_picture.h"
#include "overlay/child_lifecycle.h"
#include "overlay/file_writer.h"
#include "overlay/webview_host.h"

namespace {

constexpr std::uint64_t kPicturePeriodMs = 4000;
// A capture not done by then is given up: another may start, and its picture is dropped
// whenever it comes.
constexpr std::uint64_t kCaptureTimeoutMs = 10000;

struct PictureState {
  std::uint64_t lastCapture = 0;
  PageReadiness page;
  CaptureGate gate{kCaptureTimeoutMs};
  bool overdueLogged = false;
};
PictureState g_picture;

std::wstring TemporaryPicturePath() {
  static unsigned counter = 0;
  return BridgePath(g_folders.bridge, std::wstring(kChartPictureTemporaryPrefix) +
                                          std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                          std::to_wstring(++counter) + L".png");
}

// The capture writes into a file of its own; only a finished, non-empty, current picture
// replaces the published ones, so the page never reads a half-written or stale PNG. The
// temporary file goes whatever came of it (the runtime has let go of its stream by now).
// Reading it and replacing the published ones (flushed) is the writer thread's work.
void PublishPicture(const std::wstring& temporary, std::uint64_t token, HRESULT result) {
  const bool current = g_picture.gate.Complete(token, ::GetTickCount64());
  const bool publish = current && SUCCEEDED(result);
  const std::wstring own = BridgePath(g_folders.bridge, ChartPictureFileName(g_launch.chartWindow));
  const std::wstring shared = BridgePath(g_folders.bridge, WideName(kChartPictureName));
  const bool queued = RunOffWindowThread([temporary, publish, own, shared] {
    std::string png;
    const bool read = publish && ReadFileBytes(temporary, kPictureFileCapBytes, &png);
    ::DeleteFileW(temporary.c_str());
    if (!read || png.empty()) return;
    const bool written = ReplaceFileWhole(own, png, WriteRetry::kPatient).ok() &&
                         ReplaceFileWhole(shared, png, WriteRetry::kPatient).ok();
    // Once per failure spell, not every 4 s.
    static std::atomic<bool> failing{false};
    if (written) {
      failing = false;
    } else if (!failing.exchange(true)) {
      LogDebug("Chart picture for the AI copilot could not be written to the bridge folder.");
    }
  });
  if (!queued) ::DeleteFileW(temporary.c_str());
}

}  // namespace

void NoteChartNavigation() {
  g_picture.page.Navigated(::GetTickCount64());
}

void NotePageReported() {
  g_picture.page.PageReported(::GetTickCount64());
}

bool PageCanBeCaptured() {
  return WebViewExists() && IsWebViewVisible() && g_windows.window &&
         ::IsWindowVisible(g_windows.window);
}

void CaptureChart() {
  if (!WebViewExists()) return;
  if (IsStudioMode(g_launch.mode)) return;
  const std::uint64_t now = ::GetTickCount64();
  if (g_picture.lastCapture != 0 && now - g_picture.lastCapture < kPicturePeriodMs) return;
  // A picture taken before the new page painted would show the previous symbol.
  if (!g_picture.page.ReadyForPicture(now)) return;
  if (!PageCanBeCaptured()) return;
  switch (g_picture.gate.Admit(now)) {
    case CaptureGate::Admission::kBusy:
      return;
    case CaptureGate::Admission::kStartGivingUp:
      // Once per spell: a runtime that completes none would say so every 4 s.
      if (!g_picture.overdueLogged) {
        g_picture.overdueLogged = true;
        LogDebug("Chart picture capture did not complete within " +
                 std::to_string(kCaptureTimeoutMs / 1000) + " s; it is given up.");
      }
      break;
    case CaptureGate::Admission::kStart:
      g_picture.overdueLogged = false;
      break;
  }
  // Stamped before the file is opened, so a failed open also waits the full 4 seconds.
  g_picture.lastCapture = now;
  const std::wstring temporary = TemporaryPicturePath();
  const std::uint64_t token = g_picture.gate.Start(now);
  if (!CapturePreviewToFile(temporary, [temporary, token](HRESULT result) {
        PublishPicture(temporary, token, result);
      })) {
    (void)g_picture.gate.Complete(token, now);  // never started: nothing to wait for
    ::DeleteFileW(temporary.c_str());
  }
}
