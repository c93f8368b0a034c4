#include <windows.h>

#include <share.h>
#include <shlobj.h>

#include <cstdio>
#include <ctime>

#include "host/debug_log.h"

namespace {

// The debug log moves to its ".old" file at this size.
constexpr unsigned long long kDebugLogRotateBytes = 8ull * 1024 * 1024;

}  // namespace

void LogDebug(const std::string& message) noexcept {
  try {
    // Worked out per entry: the log must keep working in processes whose folders were
    // never resolved, and entries from many processes interleave through reopening.
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
      return;
    }
    std::wstring path = appData;
    path += L"\\Quorvale_Workspace_Debug.log";
    // Text mode turns each "\n" into CRLF; deny-none sharing keeps concurrent writers
    // from failing each other.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_s(&local, &now) != 0) local = std::tm{};
    const std::string entry = FormatLogEntry(FormatAsctimeStamp(local), message);
    // One older file is kept; of several processes passing the bound at once, one moves
    // the file and the others append to the fresh one.
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info) &&
        ((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) >=
            kDebugLogRotateBytes) {
      const std::wstring older = std::wstring(appData) + L"\\Quorvale_Workspace_Debug.old.log";
      ::MoveFileExW(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    FILE* file = ::_wfsopen(path.c_str(), L"a", _SH_DENYNO);
    if (!file) return;
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fclose(file);
  } catch (...) {
    // The entry is lost; logging never takes the process down.
  }
}
