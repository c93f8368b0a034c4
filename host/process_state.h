#pragma once
// Process-wide values, written on the main thread before any worker thread starts and
// only read afterwards (the host symbol, which changes later, has its own lock).
#include <string>

#include "host/launch_values.h"

struct WorkspaceFolders {
  std::wstring bridge;         // %APPDATA%\MetaQuotes\Terminal\Common\Files\Quorvale
  std::wstring workspaceData;  // %APPDATA%\Quorvale_Workspace_Data, or its \Profile in a child
  // %APPDATA%\Quorvale_Workspace_Data in every process, the one folder the whole log-on
  // shares: the outbox state, the order account, the bot state and the sealed stores. What
  // only the host may read (the Telegram token) lives here, never in the bridge folder.
  std::wstring workspaceRoot;
};

extern WorkspaceFolders g_folders;
extern LaunchValues g_launch;
