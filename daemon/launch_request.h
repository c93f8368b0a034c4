#pragma once
// Launch requests ("QV_Launch_*.txt") as the terminal companion writes them: key=value
// lines, parsed over the defaults a child would use anyway.
#include <cstdint>
#include <string>

struct LaunchRequest {
  std::string handleText;  // the "HWND" value as written; empty when the key is absent
  std::string symbol = "NASDAQ:NDX";
  std::string interval = "D";
  std::string theme = "dark";
  std::string userId = "MQL5_MARKET_EDITION";
  std::string mode = "WORKSTATION";
};

// UTF-8 body in, values out: KEY=value lines read as every bridge file's
// (bridge/key_value.h). Later lines win; unknown keys and lines without "=" are ignored.
// Never fails: any bytes give some request.
[[nodiscard]] LaunchRequest ParseLaunchRequest(const std::string& utf8Body);

// Keeps only the characters 0 to 9, in order, leading zeros included.
[[nodiscard]] std::string HandleDigits(const std::string& handleText);

// Decimal value of a digit string. A value past 64 bits saturates, so an absurd request can
// only name no window instead of wrapping round to some other one.
[[nodiscard]] std::uint64_t ParseHandleDigits(const std::string& digits);

// "QV_Launch_" + anything + ".txt". The directory pattern of the same shape also matches
// names through their short 8.3 aliases and longer extensions ("x.txt~", "x.txtold"), so
// every listed name is checked again here. The file system ignores case, and so does this.
[[nodiscard]] bool IsLaunchRequestFileName(const std::wstring& name);

[[nodiscard]] bool IsStudioModeName(const std::string& mode);
