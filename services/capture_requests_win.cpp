#include <windows.h>

#include <string>
#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/request_target.h"
#include "bridge/request_target_win.h"
#include "bridge/text_file.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/capture_requests.h"
#include "services/http_client.h"

namespace {

std::wstring ClaimedPath(const std::wstring& bridge) {
  static volatile LONG counter = 0;
  const LONG n = ::InterlockedIncrement(&counter);
  return BridgePath(bridge, L"QV_CaptureClaim_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                std::to_wstring(::GetTickCount64()) + L"_" + std::to_wstring(n) +
                                L".tmp");
}

RequestWaitClock g_waiting;

}  // namespace

std::string DefaultCaptureUploadUrl() {
  return WideToUtf8(CloudBaseUrl()) + "/vantrelVisualJournalApi";
}

std::vector<CaptureRequest> ClaimCaptureRequests() {
  std::vector<CaptureRequest> requests;
  const std::wstring& bridge = g_folders.bridge;
  if (bridge.empty()) return requests;
  WIN32_FIND_DATAW found{};
  UniqueFind find(::FindFirstFileW(
      BridgePath(bridge, WideName(kCaptureRequestPrefix) + L"*.txt").c_str(), &found));
  if (!find.valid()) {
    g_waiting.Retain({});
    return requests;
  }
  const std::string defaultUrl = DefaultCaptureUploadUrl();
  std::vector<std::wstring> seen;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring name = found.cFileName;
    if (!IsCaptureRequestName(name)) continue;
    const std::wstring path = BridgePath(bridge, name);
    // Empty while the companion is still writing it (or while it holds it open): read it
    // again on the next tick rather than journaling a fill without its values.
    const std::string peek = WideToUtf8(ReadTextFile(path, nullptr, kConfigFileCapBytes));
    if (peek.empty()) {
      seen.push_back(name);
      continue;
    }
    // A request naming a chart is that chart's picture: another overlay would journal the
    // wrong chart for the fill.
    const std::uint64_t named = RequestChartHandle(peek);
    const std::uint64_t waited = g_waiting.Waited(name, ::GetTickCount64());
    if (!ShouldTakeRequest(g_launch.chartWindow, named, named != 0 && ChartProcessRunning(named),
                           waited)) {
      seen.push_back(name);
      continue;
    }
    g_waiting.Forget(name);
    const std::wstring claimed = ClaimedPath(bridge);
    // Reading and deleting are two steps, so two processes could both read one request
    // and both upload it. A rename is atomic: whoever loses finds the file gone.
    if (!::MoveFileExW(path.c_str(), claimed.c_str(), 0)) continue;
    std::string body = WideToUtf8(ReadTextFile(claimed, nullptr, kConfigFileCapBytes));
    if (body.empty()) body = peek;
    ::DeleteFileW(claimed.c_str());
    requests.push_back(ParseCaptureRequest(body, defaultUrl));
  } while (::FindNextFileW(find.get(), &found));
  g_waiting.Retain(seen);
  return requests;
}
