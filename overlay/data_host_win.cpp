#include <windows.h>

#include <shlwapi.h>

#include <exception>
#include <string>

#include "bridge/bridge_names.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "overlay/data_host.h"
#include "overlay/data_host_request.h"
#include "overlay/message_source.h"
#include "overlay/page_scripts.h"
#include "overlay/web_message.h"
#include "webview2/com_callback.h"

namespace {

struct DataHostState {
  ComPtr<ICoreWebView2Environment> environment;
  EventRegistrationToken token{};
  bool subscribed = false;
};
DataHostState g_dataHost;

std::string DataHostOrigin() {
  return std::string("https://") + kVirtualDataHost;
}

std::string Header(ICoreWebView2HttpRequestHeaders* headers, const wchar_t* name) {
  BOOL has = FALSE;
  if (!headers || FAILED(headers->Contains(name, &has)) || !has) return std::string();
  LPWSTR raw = nullptr;
  const HRESULT hr = headers->GetHeader(name, &raw);
  const UniqueCoTaskMem owner(raw);
  return SUCCEEDED(hr) && raw ? WideToUtf8(raw) : std::string();
}

DataHostContext ContextOf(COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
  switch (context) {
    case COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL:
      return DataHostContext::kUnknown;
    case COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT:
      return DataHostContext::kDocument;
    case COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST:
    case COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH:
      return DataHostContext::kRead;
    case COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE:
      return DataHostContext::kImage;
    default:
      return DataHostContext::kOther;
  }
}

std::string TakeString(HRESULT hr, LPWSTR raw) {
  const UniqueCoTaskMem owner(raw);
  return SUCCEEDED(hr) && raw ? WideToUtf8(raw) : std::string();
}

[[nodiscard]] HRESULT Answer(ICoreWebView2WebResourceRequestedEventArgs* args, int status,
                             const char* reason, const std::string& headers,
                             const std::string& body) {
  // No stream at all for an empty body (HEAD, a preflight): "no content" to WebView2.
  ComPtr<IStream> content;
  if (!body.empty()) {
    content = ComPtr<IStream>::Attach(::SHCreateMemStream(
        reinterpret_cast<const BYTE*>(body.data()), static_cast<UINT>(body.size())));
    if (!content) return E_OUTOFMEMORY;
  }
  ComPtr<ICoreWebView2WebResourceResponse> response;
  HRESULT hr = g_dataHost.environment->CreateWebResourceResponse(
      content.get(), status, Utf8ToWide(reason).c_str(), Utf8ToWide(headers).c_str(),
      response.put());
  if (SUCCEEDED(hr) && !response) hr = E_POINTER;
  if (SUCCEEDED(hr)) hr = args->put_Response(response.get());
  return hr;
}

// Origin only (the path may carry anything a page chose), and once a minute per origin:
// a page polling the data host must not fill the log.
void NoteRefusal(const std::string& origin) {
  static std::string lastOrigin;
  static ULONGLONG lastAt = 0;
  const ULONGLONG now = ::GetTickCount64();
  if (origin == lastOrigin && lastAt != 0 && now - lastAt < 60000) return;
  lastOrigin = origin;
  lastAt = now;
  LogDebug("Refused a data host request from " +
           PrintableForLog(origin.empty() ? std::string("a document without Origin") : origin));
}

HRESULT OnDataHostRequest(ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args || !g_dataHost.environment) return S_OK;
  ComPtr<ICoreWebView2WebResourceRequest> request;
  if (FAILED(args->get_Request(request.put())) || !request) return S_OK;
  DataHostRequest facts;
  LPWSTR raw = nullptr;
  HRESULT hr = request->get_Uri(&raw);
  facts.url = TakeString(hr, raw);
  raw = nullptr;
  hr = request->get_Method(&raw);
  facts.method = TakeString(hr, raw);
  ComPtr<ICoreWebView2HttpRequestHeaders> headers;
  if (SUCCEEDED(request->get_Headers(headers.put())) && headers) {
    facts.origin = Header(headers.get(), L"Origin");
    facts.secFetchSite = Header(headers.get(), L"Sec-Fetch-Site");
    facts.secFetchMode = Header(headers.get(), L"Sec-Fetch-Mode");
    facts.secFetchDest = Header(headers.get(), L"Sec-Fetch-Dest");
  }
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL;
  if (SUCCEEDED(args->get_ResourceContext(&context))) facts.context = ContextOf(context);

  const DataHostAnswer answer = DecideDataHostRequest(facts, kChartSiteOrigin, DataHostOrigin());
  DataHostVerdict verdict = answer.verdict;
  std::string body;
  if (verdict == DataHostVerdict::Serve) {
    if (answer.studioPage) {
      body = BuildStudioPageHtml();
    } else if (!ReadFileBytes(BridgePath(g_folders.bridge, Utf8ToWide(answer.fileName)),
                              answer.maxBytes, &body)) {
      verdict = DataHostVerdict::NotFound;
    }
  }
  if (verdict == DataHostVerdict::Forbidden) NoteRefusal(facts.origin);
  if (verdict != DataHostVerdict::Serve) {
    body = DataHostReason(verdict);
  } else if (answer.headOnly) {
    body.clear();
  }
  if (verdict == DataHostVerdict::Preflight) body.clear();
  hr = Answer(args, DataHostStatus(verdict), DataHostReason(verdict),
              DataHostResponseHeaders(answer, verdict), body);
  if (FAILED(hr)) LogDebug("Could not answer a data host request, hr = " + std::to_string(hr));
  return S_OK;
}

}  // namespace

void ServeDataHost(ICoreWebView2* webview, ICoreWebView2Environment* environment) {
  if (!webview || !environment) return;
  g_dataHost.environment = ComPtr<ICoreWebView2Environment>::FromRaw(environment);
  auto handler = MakeComCallback<ICoreWebView2WebResourceRequestedEventHandler>(
      IID_ICoreWebView2WebResourceRequestedEventHandler,
      [](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) -> HRESULT {
        // A page's request must never end the child: whatever goes wrong, one line.
        try {
          return OnDataHostRequest(args);
        } catch (const std::exception& e) {
          LogDebug(std::string("Data host request failed: ") + e.what());
        } catch (...) {
          LogDebug("Data host request failed.");
        }
        return S_OK;
      });
  const std::wstring filter = Utf8ToWide(DataHostOrigin() + "/*");
  HRESULT hr =
      webview->AddWebResourceRequestedFilter(filter.c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  if (SUCCEEDED(hr)) {
    hr = webview->add_WebResourceRequested(handler.get(), &g_dataHost.token);
    g_dataHost.subscribed = SUCCEEDED(hr);
  }
  // The wording of the former folder mapping: traders and tests look for this line.
  LogDebug("SetVirtualHostNameToFolderMapping [" + std::string(kVirtualDataHost) + "] -> [" +
           WideToUtf8(g_folders.bridge) + "] Result: " + std::to_string(static_cast<long>(hr)));
}

void StopServingDataHost(ICoreWebView2* webview) {
  if (webview && g_dataHost.subscribed) {
    (void)webview->remove_WebResourceRequested(g_dataHost.token);
  }
  g_dataHost.subscribed = false;
  g_dataHost.environment.reset();
}
