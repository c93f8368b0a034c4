#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/file_time_win.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/cot_refresh.h"
#include "services/http_client.h"

namespace {

// Missing, unopenable or unstamped files count as stale, so the download is tried.
bool ExistingFileIsFresh(const std::wstring& path) {
  if (!FileExists(path)) return false;
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  FILETIME written{};
  if (!::GetFileTime(file.get(), nullptr, nullptr, &written)) return false;
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return IsCotFileFresh(FileTicks(written), FileTicks(now));
}

}  // namespace

void CotRefresh() noexcept {
  try {
    LogDebug("Starting COT update thread...");
    const std::wstring path = BridgePath(g_folders.bridge, WideName(kCotDataName));
    if (ExistingFileIsFresh(path)) {
      LogDebug("Existing QV_COTData.json is fresh. Skipping remote fetch.");
      return;
    }
    LogDebug("Fetching latest CFTC COT institutional data from Cloud Function...");
    const std::string body = HttpGet(CloudBaseUrl() + L"/getCOTData");
    if (!IsAcceptableCotBody(body)) {
      LogDebug("COT fetch returned incomplete response. Checking for fallback.");
      return;
    }
    // Several processes may refresh at the same moment; each save replaces the file
    // whole, so the last one wins and the page never sees two bodies mixed.
    const WriteStatus saved = ReplaceFileWhole(path, body, WriteRetry::kPatient);
    if (saved.ok()) {
      LogDebug(CotSavedLogLine(body.size()));
    } else {
      LogDebug("Could not save QV_COTData.json: " + DescribeWriteError(saved.error));
    }
  } catch (...) {
    // A thread procedure must not let anything escape: std::terminate would end the
    // whole process for the sake of a cache file.
  }
}
