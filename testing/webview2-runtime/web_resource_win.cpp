// WebResourceRequested: the request, response, header and event-args objects, and raising
// the event for a paused request that matches one of the view's filters.
#include <windows.h>

#include <new>
#include <utility>
#include <vector>

#include "bridge/base64.h"
#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/host_mapping.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A response body larger than this is refused rather than sent through the DevTools link.
constexpr ULONGLONG kMaxResponseBytes = 64ull * 1024 * 1024;

bool SameName(const std::string& a, const std::string& b) {
  return AsciiLower(a) == AsciiLower(b);
}

class HeadersIterator final
    : public ComObject<HeadersIterator, ICoreWebView2HttpHeadersCollectionIterator,
                       ICoreWebView2HttpHeadersCollectionIterator> {
 public:
  explicit HeadersIterator(HeaderList headers) : headers_(std::move(headers)) {}

  HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) noexcept override {
    if (!name || !value) return E_POINTER;
    *name = nullptr;
    *value = nullptr;
    if (at_ >= headers_.size()) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    const HRESULT hr = CoTaskMemCopy(Widen(headers_[at_].first), name);
    if (FAILED(hr)) return hr;
    const HRESULT hv = CoTaskMemCopy(Widen(headers_[at_].second), value);
    if (FAILED(hv)) {
      ::CoTaskMemFree(*name);
      *name = nullptr;
    }
    return hv;
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* hasCurrent) noexcept override {
    if (!hasCurrent) return E_POINTER;
    *hasCurrent = at_ < headers_.size() ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(BOOL* hasNext) noexcept override {
    if (!hasNext) return E_POINTER;
    if (at_ < headers_.size()) ++at_;
    *hasNext = at_ < headers_.size() ? TRUE : FALSE;
    return S_OK;
  }

 private:
  friend ComObject;
  ~HeadersIterator() = default;
  HeaderList headers_;
  std::size_t at_ = 0;
};

HRESULT MakeIterator(HeaderList headers, ICoreWebView2HttpHeadersCollectionIterator** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) HeadersIterator(std::move(headers));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HeaderList Matching(const HeaderList& headers, const std::string& name) {
  HeaderList out;
  for (const auto& h : headers) {
    if (SameName(h.first, name)) out.push_back(h);
  }
  return out;
}

// Request and response headers answer the same lookups over their lists.
HRESULT FirstHeader(const HeaderList& headers, LPCWSTR name, LPWSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  if (!name) return E_INVALIDARG;
  for (const auto& h : headers) {
    if (SameName(h.first, Narrow(name))) return CoTaskMemCopy(Widen(h.second), value);
  }
  return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT HasHeader(const HeaderList& headers, LPCWSTR name, BOOL* contains) {
  if (!contains) return E_POINTER;
  if (!name) return E_INVALIDARG;
  *contains = Matching(headers, Narrow(name)).empty() ? FALSE : TRUE;
  return S_OK;
}

class RequestHeaders final : public ComObject<RequestHeaders, ICoreWebView2HttpRequestHeaders,
                                              ICoreWebView2HttpRequestHeaders> {
 public:
  explicit RequestHeaders(HeaderList headers) : headers_(std::move(headers)) {}

  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) noexcept override {
    return FirstHeader(headers_, name, value);
  }
  HRESULT STDMETHODCALLTYPE GetHeaders(
      LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator) noexcept override {
    if (!name) return E_INVALIDARG;
    return MakeIterator(Matching(headers_, Narrow(name)), iterator);
  }
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) noexcept override {
    return HasHeader(headers_, name, contains);
  }
  HRESULT STDMETHODCALLTYPE SetHeader(LPCWSTR, LPCWSTR) noexcept override {
    // The paused request is answered or continued as it arrived.
    RecordCall("SetHeader (request)");
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemoveHeader(LPCWSTR) noexcept override {
    RecordCall("RemoveHeader (request)");
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) noexcept override {
    return MakeIterator(headers_, iterator);
  }

 private:
  friend ComObject;
  ~RequestHeaders() = default;
  HeaderList headers_;
};

class ResponseHeaders final : public ComObject<ResponseHeaders, ICoreWebView2HttpResponseHeaders,
                                               ICoreWebView2HttpResponseHeaders> {
 public:
  explicit ResponseHeaders(HeaderList headers) : headers_(std::move(headers)) {}

  HRESULT STDMETHODCALLTYPE AppendHeader(LPCWSTR name, LPCWSTR value) noexcept override {
    if (!name || !*name || !value) return E_INVALIDARG;
    headers_.emplace_back(Narrow(name), Narrow(value));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* contains) noexcept override {
    return HasHeader(headers_, name, contains);
  }
  HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) noexcept override {
    return FirstHeader(headers_, name, value);
  }
  HRESULT STDMETHODCALLTYPE GetHeaders(
      LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** iterator) noexcept override {
    if (!name) return E_INVALIDARG;
    return MakeIterator(Matching(headers_, Narrow(name)), iterator);
  }
  HRESULT STDMETHODCALLTYPE
  GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) noexcept override {
    return MakeIterator(headers_, iterator);
  }

  const HeaderList& list() const { return headers_; }

 private:
  friend ComObject;
  ~ResponseHeaders() = default;
  HeaderList headers_;
};

class Response final : public ComObject<Response, ICoreWebView2WebResourceResponse,
                                        ICoreWebView2WebResourceResponse> {
 public:
  Response(ComPtr<IStream> content, int status, std::wstring reason, HeaderList headers)
      : content_(std::move(content)), status_(status), reason_(std::move(reason)) {
    headers_ =
        ComPtr<ResponseHeaders>::Attach(new (std::nothrow) ResponseHeaders(std::move(headers)));
  }

  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) noexcept override {
    if (!content) return E_POINTER;
    *content = content_.get();
    if (*content) (*content)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Content(IStream* content) noexcept override {
    content_ = ComPtr<IStream>::FromRaw(content);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  get_Headers(ICoreWebView2HttpResponseHeaders** headers) noexcept override {
    if (!headers) return E_POINTER;
    *headers = headers_.get();
    if (!*headers) return E_OUTOFMEMORY;
    (*headers)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_StatusCode(int* statusCode) noexcept override {
    if (!statusCode) return E_POINTER;
    *statusCode = status_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_StatusCode(int statusCode) noexcept override {
    status_ = statusCode;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* reasonPhrase) noexcept override {
    return CoTaskMemCopy(reason_, reasonPhrase);
  }
  HRESULT STDMETHODCALLTYPE put_ReasonPhrase(LPCWSTR reasonPhrase) noexcept override {
    reason_ = reasonPhrase ? reasonPhrase : L"";
    return S_OK;
  }

  IStream* content() const { return content_.get(); }
  int status() const { return status_; }
  const std::wstring& reason() const { return reason_; }
  HeaderList headers() const { return headers_ ? headers_->list() : HeaderList(); }

 private:
  friend ComObject;
  ~Response() = default;
  ComPtr<IStream> content_;
  int status_;
  std::wstring reason_;
  ComPtr<ResponseHeaders> headers_;
};

class Request final
    : public ComObject<Request, ICoreWebView2WebResourceRequest, ICoreWebView2WebResourceRequest> {
 public:
  Request(std::string uri, std::string method, HeaderList headers)
      : uri_(Widen(uri)), method_(Widen(method)) {
    headers_ =
        ComPtr<RequestHeaders>::Attach(new (std::nothrow) RequestHeaders(std::move(headers)));
  }

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) noexcept override {
    RecordCall("get_Uri (request)");
    return CoTaskMemCopy(uri_, uri);
  }
  HRESULT STDMETHODCALLTYPE put_Uri(LPCWSTR) noexcept override {
    RecordCall("put_Uri (request)");
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) noexcept override {
    RecordCall("get_Method (request)");
    return CoTaskMemCopy(method_, method);
  }
  HRESULT STDMETHODCALLTYPE put_Method(LPCWSTR) noexcept override {
    RecordCall("put_Method (request)");
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) noexcept override {
    // Request bodies are not carried over; the host serves GET and HEAD only.
    if (!content) return E_POINTER;
    *content = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Content(IStream*) noexcept override {
    RecordCall("put_Content (request)");
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  get_Headers(ICoreWebView2HttpRequestHeaders** headers) noexcept override {
    RecordCall("get_Headers (request)");
    if (!headers) return E_POINTER;
    *headers = headers_.get();
    if (!*headers) return E_OUTOFMEMORY;
    (*headers)->AddRef();
    return S_OK;
  }

 private:
  friend ComObject;
  ~Request() = default;
  std::wstring uri_;
  std::wstring method_;
  ComPtr<RequestHeaders> headers_;
};

class RequestedArgs final
    : public ComObject<RequestedArgs, ICoreWebView2WebResourceRequestedEventArgs,
                       ICoreWebView2WebResourceRequestedEventArgs> {
 public:
  RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest> request, int context)
      : request_(std::move(request)), context_(context) {}

  HRESULT STDMETHODCALLTYPE
  get_Request(ICoreWebView2WebResourceRequest** request) noexcept override {
    if (!request) return E_POINTER;
    *request = request_.get();
    if (*request) (*request)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  get_Response(ICoreWebView2WebResourceResponse** response) noexcept override {
    if (!response) return E_POINTER;
    *response = response_.get();
    if (*response) (*response)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  put_Response(ICoreWebView2WebResourceResponse* response) noexcept override {
    RecordCall("put_Response");
    response_ = ComPtr<ICoreWebView2WebResourceResponse>::FromRaw(response);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) noexcept override {
    // The event is answered when the handler returns; deferred answers are not offered.
    RecordCall("GetDeferral");
    if (deferral) *deferral = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) noexcept override {
    if (!context) return E_POINTER;
    *context = static_cast<COREWEBVIEW2_WEB_RESOURCE_CONTEXT>(context_);
    return S_OK;
  }

  ICoreWebView2WebResourceResponse* response() const { return response_.get(); }

 private:
  friend ComObject;
  ~RequestedArgs() = default;
  ComPtr<ICoreWebView2WebResourceRequest> request_;
  ComPtr<ICoreWebView2WebResourceResponse> response_;
  int context_;
};

// The whole stream from its start, or false when it cannot be read or is too large.
bool ReadStream(IStream* stream, std::string* bytes) {
  bytes->clear();
  if (!stream) return true;
  LARGE_INTEGER zero{};
  (void)stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  char buffer[65536];
  for (;;) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
    if (FAILED(hr)) return false;
    if (read == 0) return true;
    if (bytes->size() + read > kMaxResponseBytes) return false;
    bytes->append(buffer, read);
    if (hr == S_FALSE) return true;
  }
}

// QV_WEBVIEW2_WITHHOLD_HEADERS: names (comma-separated) of request headers a handler does not
// see. Microsoft's handler "may not contain any request headers that are added by the
// network stack"; Chromium adds Origin there for CORS requests, so a host must work without
// it, and a test can take it away to prove that.
const std::vector<std::string>& WithheldHeaders() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    std::string name;
    for (const char c : Narrow(EnvironmentValue(L"QV_WEBVIEW2_WITHHOLD_HEADERS")) + ",") {
      if (c == ',') {
        if (!name.empty()) out.push_back(AsciiLower(name));
        name.clear();
      } else if (c != ' ') {
        name.push_back(c);
      }
    }
    return out;
  }();
  return names;
}

bool Withheld(const std::string& name) {
  for (const std::string& w : WithheldHeaders()) {
    if (AsciiLower(name) == w) return true;
  }
  return false;
}

HeaderList RequestHeaderList(const JsonValue* request) {
  HeaderList out;
  const JsonValue* headers = request ? request->Find("headers") : nullptr;
  if (!headers || !headers->IsObject()) return out;
  for (std::size_t i = 0; i < headers->names.size() && i < headers->items.size(); ++i) {
    if (headers->items[i].IsString() && !Withheld(headers->names[i])) {
      out.emplace_back(headers->names[i], headers->items[i].text);
    }
  }
  return out;
}

}  // namespace

HRESULT MakeWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase,
                                LPCWSTR headers, ICoreWebView2WebResourceResponse** response) {
  if (!response) return E_POINTER;
  *response = new (std::nothrow)
      Response(ComPtr<IStream>::FromRaw(content), statusCode, reasonPhrase ? reasonPhrase : L"",
               ParseHeaderLines(Narrow(headers)));
  return *response ? S_OK : E_OUTOFMEMORY;
}

bool RaiseWebResourceRequested(const std::shared_ptr<ViewState>& view, const JsonValue& params) {
  if (view->resourceHandlers.empty() || !view->webview) return false;
  const JsonValue* request = params.Find("request");
  if (!request) return false;
  const std::string url = request->StringAt("url");
  const int context = ResourceContextOf(params.StringAt("resourceType"));
  bool matched = false;
  for (const ResourceFilter& f : view->resourceFilters) {
    if ((f.context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL || f.context == context) &&
        FilterUriMatches(f.uri, url)) {
      matched = true;
      break;
    }
  }
  if (!matched) return false;
  auto req = ComPtr<ICoreWebView2WebResourceRequest>::Attach(
      new (std::nothrow) Request(url, request->StringAt("method"), RequestHeaderList(request)));
  if (!req) return false;
  auto args = ComPtr<RequestedArgs>::Attach(new (std::nothrow) RequestedArgs(req, context));
  if (!args) return false;
  // A handler may remove itself (or others) while the event is delivered.
  std::vector<ComPtr<ICoreWebView2WebResourceRequestedEventHandler>> handlers;
  for (const auto& [token, handler] : view->resourceHandlers) handlers.push_back(handler);
  ComPtr<ICoreWebView2> sender = ComPtr<ICoreWebView2>::FromRaw(view->webview);
  for (const auto& handler : handlers) {
    if (view->closed) break;
    (void)handler->Invoke(sender.get(), args.get());
  }
  ICoreWebView2WebResourceResponse* put = args->response();
  if (!put || view->closed) return false;
  // Only our own response objects (CreateWebResourceResponse) can be fulfilled.
  const auto* ours = dynamic_cast<const Response*>(put);
  if (!ours) return false;
  std::string body;
  int status = ours->status();
  HeaderList headers = ours->headers();
  std::string reason = Narrow(ours->reason());
  if (!ReadStream(ours->content(), &body)) {
    status = 500;
    reason = "Internal Server Error";
    headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    body = "Response body could not be read";
  }
  std::string fulfil = "{\"requestId\":" + JsonQuote(params.StringAt("requestId")) +
                       ",\"responseCode\":" + std::to_string(status) +
                       ",\"responseHeaders\":" + HeaderPairsJson(headers) + ",\"body\":\"" +
                       Base64Encode(body) + "\"";
  if (!reason.empty()) fulfil += ",\"responsePhrase\":" + JsonQuote(reason);
  fulfil += "}";
  view->core->link()->Send("Fetch.fulfillRequest", fulfil, view->sessionId, nullptr);
  return true;
}
