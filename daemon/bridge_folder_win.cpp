#include <windows.h>

#include <string>

#include "bridge/text_file.h"
#include "daemon/bridge_folder.h"
#include "host/debug_log.h"
#include "host/process_state.h"

namespace {

bool g_missingLogged = false;

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

bool EnsureBridgeFolder() {
  const std::wstring& bridge = g_folders.bridge;
  if (bridge.empty()) return false;
  if (FolderExists(bridge)) return true;
  const std::wstring common = ParentOf(bridge);
  // Only the terminal creates its common folder: making it ourselves would hide a wrong
  // path behind a folder the terminal never reads.
  if (!common.empty() && FolderExists(common)) {
    if (::CreateDirectoryW(bridge.c_str(), nullptr) || FolderExists(bridge)) {
      LogDebug("Terminal common folder found; bridge folder created: " + WideToUtf8(bridge));
      g_missingLogged = false;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (!g_missingLogged) {
      g_missingLogged = true;
      LogDebug("Bridge folder could not be created (error " + std::to_string(error) +
               "): " + WideToUtf8(bridge));
    }
    return false;
  }
  if (!g_missingLogged) {
    g_missingLogged = true;
    LogDebug("Terminal common folder not found: " + WideToUtf8(common) +
             ". Waiting for MetaTrader 5 to create it; nothing is watched until then.");
  }
  return false;
}
