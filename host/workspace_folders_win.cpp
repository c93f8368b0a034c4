#include <windows.h>

#include <shlobj.h>

#include "host/process_state.h"
#include "host/workspace_folders.h"

void ResolveWorkspaceFolders() {
  wchar_t appData[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
    return;
  }
  const std::wstring root = appData;
  const std::wstring common = root + L"\\MetaQuotes\\Terminal\\Common\\Files";
  const std::wstring bridge = common + L"\\Quorvale";
  g_folders.bridge = bridge;
  // Single-level creation: without the terminal's own Common folder nothing is created,
  // and an existing folder is fine.
  ::CreateDirectoryW(common.c_str(), nullptr);
  ::CreateDirectoryW(bridge.c_str(), nullptr);
  g_folders.workspaceData = root + L"\\Quorvale_Workspace_Data";
  ::CreateDirectoryW(g_folders.workspaceData.c_str(), nullptr);
  g_folders.workspaceRoot = g_folders.workspaceData;
}
