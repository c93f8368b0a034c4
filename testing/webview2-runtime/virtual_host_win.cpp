// Serving mapped virtual hosts from their folders by answering paused requests.
#include <windows.h>

#include "host/win_handles.h"
#include "bridge/base64.h"
#include "testing/webview2-runtime/host_mapping.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

constexpr LONGLONG kMaxServedBytes = 256ll * 1024 * 1024;

// Shares read, write and delete so a bridge file can be replaced while a page reads it.
bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxServedBytes) return false;
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes->size() - done, 1u << 24));
    if (!::ReadFile(file.get(), bytes->data() + done, want, &read, nullptr)) return false;
    if (read == 0) break;  // shrank while we read: serve what is there
    done += read;
  }
  bytes->resize(done);
  return true;
}

void Fulfil(const std::shared_ptr<ViewState>& view, const std::string& requestId, int status,
            const std::string& headersJson, const std::string& body) {
  view->core->link()->Send(
      "Fetch.fulfillRequest",
      "{\"requestId\":" + JsonQuote(requestId) + ",\"responseCode\":" + std::to_string(status) +
          ",\"responseHeaders\":" + headersJson + ",\"body\":\"" + Base64Encode(body) + "\"}",
      view->sessionId, nullptr);
}

}  // namespace

void ServePausedRequest(const std::shared_ptr<ViewState>& view, const JsonValue& params) {
  DevToolsLink* link = view->core->link();
  if (!link) return;
  // The host's handler answers before any mapping, as WebView2 raises the event first.
  if (RaiseWebResourceRequested(view, params)) return;
  const std::string requestId = params.StringAt("requestId");
  const JsonValue* request = params.Find("request");
  const std::string url = request ? request->StringAt("url") : std::string();
  RequestUrl parsed;
  const FolderMapping* mapping = nullptr;
  if (ParseRequestUrl(url, &parsed)) {
    for (const FolderMapping& m : view->mappings) {
      if (m.host == parsed.host) mapping = &m;
    }
  }
  if (!mapping) {
    link->Send("Fetch.continueRequest", "{\"requestId\":" + JsonQuote(requestId) + "}",
               view->sessionId, nullptr);
    return;
  }
  const bool cors = mapping->allowCrossOrigin;
  const std::string method = request ? request->StringAt("method") : std::string();
  if (method == "OPTIONS") {
    std::string headers = ResponseHeadersJson("text/plain; charset=utf-8", cors);
    if (cors) {
      headers.pop_back();
      headers +=
          ",{\"name\":\"Access-Control-Allow-Methods\",\"value\":\"GET, HEAD, OPTIONS\"},"
          "{\"name\":\"Access-Control-Allow-Headers\",\"value\":\"*\"}]";
    }
    Fulfil(view, requestId, 204, headers, "");
    return;
  }
  const std::optional<std::string> relative = MappedFilePath(parsed.path);
  std::string body;
  if (!relative || !ReadWholeFile(mapping->folder + L"\\" + Widen(*relative), &body)) {
    Fulfil(view, requestId, 404, ResponseHeadersJson("text/plain; charset=utf-8", cors),
           "Not found");
    return;
  }
  Fulfil(view, requestId, 200, ResponseHeadersJson(ContentTypeForPath(*relative), cors),
         method == "HEAD" ? std::string() : body);
}
