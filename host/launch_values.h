#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The six values a child is started with; every process starts with the defaults.
struct LaunchValues {
  std::uint64_t chartWindow = 0;
  std::wstring symbol = L"NASDAQ:NDX";
  std::wstring interval = L"D";
  std::wstring theme = L"dark";
  std::wstring userId = L"MQL5_MARKET_EDITION";
  std::wstring mode = L"WORKSTATION";
};

enum class ProcessRole { kDaemon, kChild };

// Decimal parse: leading blanks skipped, stops at the first non-digit, no digits gives 0.
// A value past 64 bits saturates instead of wrapping to some other window's handle.
[[nodiscard]] std::uint64_t ParseWindowHandle(const std::wstring& text);

// Exactly one of "--daemon", "-daemon", "/daemon", "daemon", "-d"; case-sensitive.
[[nodiscard]] bool IsDaemonSwitch(const std::wstring& argument);

// args[0] is the program path. Fewer than two arguments or a daemon switch: daemon.
[[nodiscard]] ProcessRole SelectRole(const std::vector<std::wstring>& args);

// Applies child arguments 1..6 over the defaults; argument 2 goes through the symbol
// mapping, the default symbol does not.
[[nodiscard]] LaunchValues ParseChildLaunchValues(const std::vector<std::wstring>& args);

[[nodiscard]] bool IsStudioMode(const std::wstring& mode);
