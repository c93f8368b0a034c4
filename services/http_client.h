#pragma once
// The HTTP client of the cloud and messaging services, on WinINet: the services' base URLs,
// the request flags and time-outs, the requests, and the count of POSTs still running at
// exit. No connection reuse, no retry and no status handling: callers judge a GET by its
// body alone and never learn how a POST ended. Every call may come from any thread.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

// Base URLs of the two outside services. Each is a built-in constant that an environment
// variable may replace, so the tests can point the program at servers on 127.0.0.1.
inline constexpr wchar_t kCloudBaseUrl[] = L"https://api.quorvaleworkspace.com";
inline constexpr wchar_t kTelegramApiBaseUrl[] = L"https://api.telegram.org";
inline constexpr wchar_t kCloudBaseUrlVariable[] = L"QV_CLOUD_BASE_URL";
inline constexpr wchar_t kTelegramApiBaseVariable[] = L"QV_TELEGRAM_API_BASE";

// The override when it is set and non-empty, without trailing slashes (paths are appended
// with their own leading slash); otherwise the built-in value.
[[nodiscard]] std::wstring ChooseBaseUrl(const std::wstring& overrideValue,
                                         const std::wstring& builtIn);

// Resolved from the environment (Windows only).
[[nodiscard]] std::wstring CloudBaseUrl();
[[nodiscard]] std::wstring TelegramApiBaseUrl();

// Request flags, kept apart from WinINet so the choice is testable.
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

// The response body whatever the status; what was read so far (usually nothing) on any
// failure.
[[nodiscard]] std::string HttpGet(const std::wstring& url);

// Sends the body with "Content-Type: application/json" and returns once the response
// head has arrived; the response is never read. Nothing is sent when the host part of
// the URL exceeds 255 characters or its path 1023.
void PostJson(const std::wstring& url, const std::string& body);

// PostJson on a detached thread of its own with copies of both arguments. False when the
// thread could not be started (nothing is sent then).
[[nodiscard]] bool PostJsonAsync(const std::wstring& url, const std::string& body);

// Waits until every PostJsonAsync has finished, at most kExitGraceForPosts, before a process
// exits; logs how many were still running when it gave up.
void AwaitPostsBeforeExit();

// Counts the asynchronous POSTs (journal uploads, Telegram notices) still running, so a
// process that is asked to stop can give them a short grace period instead of cutting them
// off the moment it exits.
class PostsInFlight {
 public:
  void Begin();
  void End();
  // True once none is running, false when some still run after the timeout.
  [[nodiscard]] bool WaitUntilIdle(std::chrono::milliseconds timeout);
  [[nodiscard]] std::size_t Count();

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t count_ = 0;
};

// Long enough for an upload that is under way on a healthy line, short enough that a chart
// closing or a log-off is not held up by a dead server.
inline constexpr std::chrono::milliseconds kExitGraceForPosts{3000};
