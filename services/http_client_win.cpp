#include <windows.h>

#include <wininet.h>

#include <memory>
#include <thread>

#include "host/win_handles.h"
#include "services/http_client.h"
#include "services/http_flags.h"

namespace {

constexpr wchar_t kUserAgent[] = L"QuorvaleWorkspace/5.0";
constexpr wchar_t kJsonHeader[] = L"Content-Type: application/json\r\n";
constexpr DWORD kJsonHeaderLength = 32;
static_assert(sizeof kJsonHeader / sizeof kJsonHeader[0] - 1 == kJsonHeaderLength);
constexpr DWORD kReadChunk = 4096;
constexpr DWORD kHostBuffer = 256;
constexpr DWORD kPathBuffer = 1024;

// WinINet's own defaults can leave a thread hanging for minutes on a dead peer; the
// handles inherit these from the root, and the request handle gets them again because
// not every WinINet version passes them down.
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

}  // namespace

std::string HttpGet(const std::wstring& url) {
  std::string result;
  UniqueInternet root = OpenRoot();
  if (!root) return result;
  // TLS follows the scheme: a secure flag on a plain http URL would make WinINet try TLS
  // against a plain server. Every built-in URL is https, so they all get 0x84800000.
  UniqueInternet request(::InternetOpenUrlW(root.get(), url.c_str(), nullptr, 0,
                                            HttpRequestFlags(IsHttpsUrl(url)), 0));
  if (!request) return result;
  SetTimeouts(request.get());
  char buffer[kReadChunk];
  for (;;) {
    DWORD read = 0;
    if (!::InternetReadFile(request.get(), buffer, kReadChunk, &read) || read == 0) break;
    result.append(buffer, read);
  }
  // Handles close in reverse order of opening: the request first, then the root.
  request.reset();
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

  UniqueInternet connection(::InternetConnectW(root.get(), host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return;
  const DWORD flags = HttpRequestFlags(parts.nScheme == INTERNET_SCHEME_HTTPS);
  UniqueInternet request(
      ::HttpOpenRequestW(connection.get(), L"POST", path, nullptr, nullptr, nullptr, flags, 0));
  if (!request) return;
  SetTimeouts(request.get());
  // The outcome is deliberately not looked at: nobody waits for a POST's answer.
  (void)::HttpSendRequestW(request.get(), kJsonHeader, kJsonHeaderLength,
                           const_cast<char*>(body.data()), static_cast<DWORD>(body.size()));
  request.reset();
  connection.reset();
}

bool PostJsonAsync(const std::wstring& url, const std::string& body) {
  struct PostJob {
    std::wstring url;
    std::string body;
  };
  try {
    auto job = std::make_unique<PostJob>(PostJob{url, body});
    std::thread([owned = std::move(job)]() { PostJson(owned->url, owned->body); }).detach();
  } catch (const std::exception&) {
    // Thread creation (std::system_error) or the copies (std::bad_alloc) failed.
    return false;
  }
  return true;
}
