#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/process_state.h"
#include "services/capture_requests.h"
#include "services/endpoints.h"

namespace {

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  [[nodiscard]] HANDLE get() const { return handle_; }
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

std::wstring ClaimedPath(const std::wstring& bridge) {
  static volatile LONG counter = 0;
  const LONG n = ::InterlockedIncrement(&counter);
  return BridgePath(bridge, L"QV_CaptureClaim_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                std::to_wstring(::GetTickCount64()) + L"_" + std::to_wstring(n) +
                                L".tmp");
}

}  // namespace

std::string DefaultCaptureUploadUrl() {
  return WideToUtf8(CloudBaseUrl()) + "/vantrelVisualJournalApi";
}

std::vector<CaptureRequest> ClaimCaptureRequests() {
  std::vector<CaptureRequest> requests;
  const std::wstring& bridge = g_folders.bridge;
  if (bridge.empty()) return requests;
  WIN32_FIND_DATAW found{};
  FindHandle find(
      ::FindFirstFileW(BridgePath(bridge, L"QV_Capture_Request_*.txt").c_str(), &found));
  if (!find.valid()) return requests;
  const std::string defaultUrl = DefaultCaptureUploadUrl();
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!IsCaptureRequestName(found.cFileName)) continue;
    const std::wstring claimed = ClaimedPath(bridge);
    // Reading and deleting are two steps, so two processes could both read one request
    // and both upload it. A rename is atomic: whoever loses finds the file gone.
    if (!::MoveFileExW(BridgePath(bridge, found.cFileName).c_str(), claimed.c_str(), 0)) continue;
    const std::wstring body = ReadTextFile(claimed, nullptr, kConfigFileCapBytes);
    ::DeleteFileW(claimed.c_str());
    requests.push_back(ParseCaptureRequest(WideToUtf8(body), defaultUrl));
  } while (::FindNextFileW(find.get(), &found));
  return requests;
}
