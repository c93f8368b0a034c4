#include <windows.h>

#include <wininet.h>

#include <memory>
#include <thread>

#include "host/debug_log.h"
#include "host/win_handles.h"
#include "services/http_client.h"

namespace {

constexpr wchar_t kUserAgent[] = L"QuorvaleWorkspace/5.0";
constexpr wchar_t kJsonHeader[] = L"Content-Type: application/json\r\n";
constexpr DWORD kJsonHeaderLength = 32;
static_assert(sizeof kJsonHeader / sizeof kJsonHeader[0] - 1 == kJsonHeaderLength);
constexpr DWORD kReadChunk = 4096;
// Larger than any answer the services expect (COT data, Telegram updates); a server that
// sends more gets no answer read at all rather than the process's memory.
constexpr std::size_t kMaxBodyBytes = 16u * 1024 * 1024;
constexpr DWORD kHostBuffer = 256;
constexpr DWORD kPathBuffer = 1024;

// WinINet's own defaults can leave a thread hanging for minutes on a dead peer. Options
// set on the root handle are inherited on Windows but ignored by some WinINet versions
// (Wine's among them), so each connection and request handle gets them too, before the
// request is sent. That is also why the GET opens its request explicitly instead of
// through InternetOpenUrlW, which sends before a time-out could be set on its handle.
void SetTimeouts(HINTERNET handle) {
  DWORD connect = kConnectTimeoutMs;
  DWORD send = kSendTimeoutMs;
  DWORD receive = kReceiveTimeoutMs;
  (void)::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  (void)::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
  (void)::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

UniqueInternet OpenRoot() {
  UniqueInternet root(
      ::InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (root) SetTimeouts(root.get());
  return root;
}

struct OpenedRequest {
  UniqueInternet connection;
  UniqueInternet request;  // declared last, so it closes before the connection
};

// TLS follows the scheme: a secure flag on a plain http URL would make WinINet try TLS
// against a plain server. Every built-in URL is https and so gets 0x84800000.
OpenedRequest OpenRequest(HINTERNET root, const wchar_t* verb, const wchar_t* host,
                          INTERNET_PORT port, const wchar_t* object, INTERNET_SCHEME scheme) {
  OpenedRequest opened;
  opened.connection.reset(
      ::InternetConnectW(root, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!opened.connection) return opened;
  SetTimeouts(opened.connection.get());
  opened.request.reset(::HttpOpenRequestW(opened.connection.get(), verb, object, nullptr, nullptr,
                                          nullptr,
                                          HttpRequestFlags(scheme == INTERNET_SCHEME_HTTPS), 0));
  if (opened.request) SetTimeouts(opened.request.get());
  return opened;
}

}  // namespace

std::string HttpGet(const std::wstring& url) {
  std::string result;
  UniqueInternet root = OpenRoot();
  if (!root) return result;
  // Null buffers with lengths make WinINet point into the URL itself, so a long poll
  // URL has no length limit of our making.
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return result;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    return result;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring object(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = L"/";

  OpenedRequest opened =
      OpenRequest(root.get(), L"GET", host.c_str(), parts.nPort, object.c_str(), parts.nScheme);
  if (!opened.request) return result;
  if (!::HttpSendRequestW(opened.request.get(), nullptr, 0, nullptr, 0)) return result;
  // The status is never looked at: an error page comes back like any other body.
  char buffer[kReadChunk];
  for (;;) {
    DWORD read = 0;
    if (!::InternetReadFile(opened.request.get(), buffer, kReadChunk, &read) || read == 0) break;
    if (result.size() + read > kMaxBodyBytes) {
      LogDebug("HTTP answer over " + std::to_string(kMaxBodyBytes) + " bytes ignored.");
      return std::string();
    }
    result.append(buffer, read);
  }
  return result;
}

void PostJson(const std::wstring& url, const std::string& body) {
  UniqueInternet root = OpenRoot();
  if (!root) return;

  wchar_t host[kHostBuffer] = {};
  wchar_t path[kPathBuffer] = {};
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostBuffer;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathBuffer;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return;

  OpenedRequest opened = OpenRequest(root.get(), L"POST", host, parts.nPort, path, parts.nScheme);
  if (!opened.request) return;
  // Nobody waits for a POST's answer, but a request that never left is logged (without the
  // URL: a Telegram URL carries the bot token).
  if (!::HttpSendRequestW(opened.request.get(), kJsonHeader, kJsonHeaderLength,
                          const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
    const DWORD error = ::GetLastError();
    LogDebug("Asynchronous POST could not be sent: Windows error " + std::to_string(error));
  }
}

PostsInFlight& AsyncPosts() {
  static PostsInFlight posts;
  return posts;
}

bool PostJsonAsync(const std::wstring& url, const std::string& body) {
  struct PostJob {
    std::wstring url;
    std::string body;
  };
  // Counted before the thread exists, so an exit that starts right after this call still
  // waits for it.
  AsyncPosts().Begin();
  try {
    auto job = std::make_unique<PostJob>(PostJob{url, body});
    std::thread([owned = std::move(job)]() {
      struct Done {
        ~Done() { AsyncPosts().End(); }
      } done;
      PostJson(owned->url, owned->body);
    }).detach();
  } catch (const std::exception&) {
    // Thread creation (std::system_error) or the copies (std::bad_alloc) failed.
    AsyncPosts().End();
    return false;
  }
  return true;
}

void AwaitPostsBeforeExit() {
  if (AsyncPosts().WaitUntilIdle(kExitGraceForPosts)) return;
  const std::size_t left = AsyncPosts().Count();
  LogDebug("Exiting with " + std::to_string(left) +
           " asynchronous POST(s) (journal upload or notice) still in flight after " +
           std::to_string(kExitGraceForPosts.count()) + " ms; they may not arrive.");
}

namespace {
std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[2048];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 2048);
  if (length == 0 || length >= 2048) return {};
  return std::wstring(buffer, length);
}
}  // namespace

std::wstring CloudBaseUrl() {
  return ChooseBaseUrl(EnvironmentValue(kCloudBaseUrlVariable), kCloudBaseUrl);
}

std::wstring TelegramApiBaseUrl() {
  return ChooseBaseUrl(EnvironmentValue(kTelegramApiBaseVariable), kTelegramApiBaseUrl);
}
