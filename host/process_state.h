#pragma once
// What this process was started as and where its folders are: values written on the main
// thread before any worker thread starts and only read afterwards (the host symbol, which
// changes later, has its own lock).
#include <cstdint>
#include <string>

// The six values a child is started with; every process starts with the defaults.
struct LaunchValues {
  std::uint64_t chartWindow = 0;
  std::wstring symbol = L"NASDAQ:NDX";
  std::wstring interval = L"D";
  std::wstring theme = L"dark";
  std::wstring userId = L"MQL5_MARKET_EDITION";
  std::wstring mode = L"WORKSTATION";
};

// Decimal parse: leading blanks skipped, stops at the first non-digit, no digits gives 0.
// A value past 64 bits saturates instead of wrapping to some other window's handle.
[[nodiscard]] std::uint64_t ParseWindowHandle(const std::wstring& text);

[[nodiscard]] bool IsStudioMode(const std::wstring& mode);

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
