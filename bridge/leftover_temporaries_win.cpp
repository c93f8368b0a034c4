#include <windows.h>

#include <string>

#include "bridge/bridge_names.h"
#include "bridge/leftover_temporaries.h"
#include "host/debug_log.h"
#include "host/win_handles.h"

namespace {

// A process that still runs may be writing the file this moment. An id the system has
// given to a new process since counts as running: the file then waits for the next start.
bool ProcessRuns(DWORD processId) {
  if (processId == ::GetCurrentProcessId()) return true;
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  return !::GetExitCodeProcess(process.get(), &code) || code == STILL_ACTIVE;
}

}  // namespace

void SweepLeftoverTemporaries(const std::wstring& bridgeFolder) {
  WIN32_FIND_DATAW found{};
  UniqueFind listing(::FindFirstFileW(BridgePath(bridgeFolder, L"*").c_str(), &found));
  if (!listing) return;
  int removed = 0;
  int kept = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring name = found.cFileName;
    const std::uint32_t writer = LeftoverTemporaryWriter(name);
    if (writer == 0 || ProcessRuns(writer)) continue;
    if (::DeleteFileW(BridgePath(bridgeFolder, name).c_str())) {
      ++removed;
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
      ++kept;
    }
  } while (::FindNextFileW(listing.get(), &found));
  if (removed > 0 || kept > 0) {
    LogDebug("Start-up sweep: removed " + std::to_string(removed) +
             " temporary capture/COT file(s) left by ended processes" +
             (kept > 0 ? "; " + std::to_string(kept) + " could not be deleted." : "."));
  }
}
