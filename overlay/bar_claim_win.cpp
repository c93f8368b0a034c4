#include <windows.h>

#include <cstdint>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/unique_resource.h"
#include "host/win_handles.h"
#include "overlay/bar_claim.h"
#include "overlay/web_message.h"

namespace {

std::uint64_t FileTimeMs(const FILETIME& t) {
  ULARGE_INTEGER v{};
  v.LowPart = t.dwLowDateTime;
  v.HighPart = t.dwHighDateTime;
  return v.QuadPart / 10000;
}

// At most once an hour per process: claim files are few (one per instrument and bar), so
// a sweep is cheap, but it need not run at every bar of every page.
void RemoveExpiredClaims() {
  static std::uint64_t lastSweep = 0;
  const std::uint64_t tick = ::GetTickCount64();
  if (lastSweep != 0 && tick - lastSweep < 3600ULL * 1000) return;
  lastSweep = tick;
  FILETIME nowFt{};
  ::GetSystemTimeAsFileTime(&nowFt);
  const std::uint64_t now = FileTimeMs(nowFt);
  WIN32_FIND_DATAW found{};
  UniqueFind find(::FindFirstFileW(
      BridgePath(g_folders.bridge, Utf8ToWide(kBarClaimFilePattern)).c_str(), &found));
  if (!find) return;
  do {
    const std::uint64_t written = FileTimeMs(found.ftLastWriteTime);
    if (now > written && IsExpiredBarClaim(now - written)) {
      const std::wstring path = BridgePath(g_folders.bridge, found.cFileName);
      if (!::DeleteFileW(path.c_str())) {
        LogDebug("AutoTrader claim sweep could not delete " + WideToUtf8(found.cFileName) +
                 " (error " + std::to_string(::GetLastError()) + ")");
      }
    }
  } while (::FindNextFileW(find.get(), &found));
}

// Writes the token into a file that did not exist before this call; a file that exists
// belongs to the page that asked first.
ClaimResult CreateClaimFile(const std::wstring& path, const std::string& token) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return ClaimResult::kTaken;
    LogDebug("AutoTrader claim could not be created (error " + std::to_string(error) + ")");
    return ClaimResult::kFailed;
  }
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file.get(), token.data(), static_cast<DWORD>(token.size()), &written, nullptr);
  file.reset();
  if (!ok || written != token.size()) {
    // A claim without its token would hold the bar for nobody; without the file the next
    // asker can still have it.
    if (!::DeleteFileW(path.c_str())) {
      LogDebug("AutoTrader claim left unreadable and could not be deleted: " + WideToUtf8(path));
    }
    LogDebug("AutoTrader claim could not be written (error " + std::to_string(::GetLastError()) +
             ")");
    return ClaimResult::kFailed;
  }
  return ClaimResult::kClaimed;
}

}  // namespace

ClaimResult HandleBarClaim(const std::string& rest) {
  BarClaim claim;
  if (!ParseBarClaim(rest, &claim)) {
    LogDebug("Dropped AutoTrader claim with unusable fields: " +
             PrintableForLog(rest.substr(0, 120)));
    return ClaimResult::kRefused;
  }
  RemoveExpiredClaims();
  const ClaimResult result = CreateClaimFile(
      BridgePath(g_folders.bridge, Utf8ToWide(BarClaimFileName(claim))), claim.token);
  if (result == ClaimResult::kClaimed) {
    LogDebug("AutoTrader bar claimed: " + claim.instrument + " " + claim.bar);
  }
  return result;
}
