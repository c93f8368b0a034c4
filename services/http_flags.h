#pragma once
// Request flags of the HTTP client, kept apart from WinINet so the choice is testable.
#include <cstdint>
#include <string>

inline constexpr std::uint32_t kFlagReload = 0x80000000u;        // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000u;  // INTERNET_FLAG_NO_CACHE_WRITE
inline constexpr std::uint32_t kFlagSecure = 0x00800000u;        // INTERNET_FLAG_SECURE

// True when the URL's scheme is https, in any letter case.
[[nodiscard]] bool IsHttpsUrl(const std::wstring& url);

// Reload and no cache write on every request; TLS exactly when the scheme is https
// (0x84800000), otherwise 0x84000000.
[[nodiscard]] std::uint32_t HttpRequestFlags(bool https);

// Connect, send and receive time-outs (ms) set on every request. The receive time-out
// must outlast the Telegram long-poll of 3 s with room to spare.
inline constexpr std::uint32_t kConnectTimeoutMs = 10000;
inline constexpr std::uint32_t kSendTimeoutMs = 15000;
inline constexpr std::uint32_t kReceiveTimeoutMs = 20000;
