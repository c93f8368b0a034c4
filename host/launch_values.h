#pragma once
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
