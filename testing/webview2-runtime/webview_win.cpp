// ICoreWebView2_3 over the view's page session.
#include <windows.h>

#include <new>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/host_mapping.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

constexpr HRESULT kClosedError = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
// Every method answers E_NOTIMPL unless the view below implements it.
struct WebViewBase : public ICoreWebView2_3 {
  QV_ICoreWebView2_METHODS(QV_COM_NOT_IMPLEMENTED)
      QV_ICoreWebView2_2_METHODS(QV_COM_NOT_IMPLEMENTED)
          QV_ICoreWebView2_3_METHODS(QV_COM_NOT_IMPLEMENTED)
};
#pragma GCC diagnostic pop

class WebView final
    : public ComObject<WebView, WebViewBase, ICoreWebView2, ICoreWebView2_2, ICoreWebView2_3> {
 public:
  explicit WebView(std::shared_ptr<ViewState> view) : view_(std::move(view)) {
    view_->webview = this;
  }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) noexcept override {
    RecordCall("get_Settings");
    if (!settings) return E_POINTER;
    *settings = nullptr;
    if (!settings_) settings_ = MakeSettings(view_);
    if (!settings_) return E_OUTOFMEMORY;
    *settings = settings_.get();
    settings_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) noexcept override {
    RecordCall("get_Source");
    return CoTaskMemCopy(Widen(view_->source), uri);
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) noexcept override {
    RecordCall("Navigate " + CallArg(uri));
    if (view_->closed) return kClosedError;
    if (!uri || !*uri) return E_INVALIDARG;
    view_->core->Call("Page.navigate", "{\"url\":" + JsonQuote(Narrow(uri)) + "}", view_->sessionId,
                      nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript,
      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) noexcept override {
    RecordCall("AddScriptToExecuteOnDocumentCreated " + CallArg(javaScript));
    if (view_->closed) return kClosedError;
    if (!javaScript) return E_INVALIDARG;
    auto done =
        ComPtr<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>::FromRaw(handler);
    view_->core->Call("Page.addScriptToEvaluateOnNewDocument",
                      "{\"source\":" + JsonQuote(Narrow(javaScript)) + "}", view_->sessionId,
                      [done](const CdpIncoming& reply) {
                        if (!done) return;
                        const std::wstring id = Widen(reply.result.StringAt("identifier"));
                        (void)done->Invoke(reply.failed ? E_FAIL : S_OK,
                                           reply.failed ? nullptr : id.c_str());
                      });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) noexcept override {
    RecordCall("RemoveScriptToExecuteOnDocumentCreated " + CallArg(id));
    if (view_->closed) return kClosedError;
    if (!id) return E_INVALIDARG;
    view_->core->Call("Page.removeScriptToEvaluateOnNewDocument",
                      "{\"identifier\":" + JsonQuote(Narrow(id)) + "}", view_->sessionId, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ExecuteScript(
      LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) noexcept override {
    RecordCall("ExecuteScript " + CallArg(javaScript));
    if (view_->closed) return kClosedError;
    if (!javaScript) return E_INVALIDARG;
    auto done = ComPtr<ICoreWebView2ExecuteScriptCompletedHandler>::FromRaw(handler);
    view_->core->Call("Runtime.evaluate",
                      "{\"expression\":" + JsonQuote(Narrow(javaScript)) +
                          ",\"returnByValue\":true,\"awaitPromise\":false}",
                      view_->sessionId, [done](const CdpIncoming& reply) {
                        if (!done) return;
                        const std::wstring json =
                            reply.failed ? L"null" : Widen(ScriptResultJson(reply.result));
                        (void)done->Invoke(reply.failed ? E_FAIL : S_OK, json.c_str());
                      });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream,
                 ICoreWebView2CapturePreviewCompletedHandler* handler) noexcept override {
    RecordCall("CapturePreview " + std::to_string(static_cast<int>(imageFormat)));
    if (view_->closed) return kClosedError;
    if (!imageStream) return E_INVALIDARG;
    if (imageFormat != COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG &&
        imageFormat != COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG) {
      return E_INVALIDARG;
    }
    ParkedCapture capture;
    capture.format = imageFormat == COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG ? "png" : "jpeg";
    capture.stream = ComPtr<IStream>::FromRaw(imageStream);
    capture.done = ComPtr<ICoreWebView2CapturePreviewCompletedHandler>::FromRaw(handler);
    CaptureOrPark(view_, std::move(capture));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reload() noexcept override {
    RecordCall("Reload");
    if (view_->closed) return kClosedError;
    view_->core->Call("Page.reload", "", view_->sessionId, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) noexcept override {
    RecordCall("PostWebMessageAsJson " + CallArg(webMessageAsJson));
    if (view_->closed) return kClosedError;
    JsonValue parsed;
    if (!webMessageAsJson || !ParseJson(Narrow(webMessageAsJson), &parsed)) return E_INVALIDARG;
    return Deliver(WriteJson(parsed));
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) noexcept override {
    RecordCall("PostWebMessageAsString " + CallArg(webMessageAsString));
    if (view_->closed) return kClosedError;
    if (!webMessageAsString) return E_INVALIDARG;
    return Deliver(JsonQuote(Narrow(webMessageAsString)));
  }
  HRESULT STDMETHODCALLTYPE
  add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                         EventRegistrationToken* token) noexcept override {
    RecordCall("add_WebMessageReceived");
    if (!handler || !token) return E_POINTER;
    if (view_->closed) return kClosedError;
    token->value = view_->nextToken++;
    view_->messageHandlers[token->value] =
        ComPtr<ICoreWebView2WebMessageReceivedEventHandler>::FromRaw(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  remove_WebMessageReceived(EventRegistrationToken token) noexcept override {
    RecordCall("remove_WebMessageReceived " + std::to_string(token.value));
    view_->messageHandlers.erase(token.value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                              EventRegistrationToken* token) noexcept override {
    RecordCall("add_ProcessFailed");
    if (!handler || !token) return E_POINTER;
    if (view_->closed) return kClosedError;
    token->value = view_->nextToken++;
    view_->failedHandlers[token->value] =
        ComPtr<ICoreWebView2ProcessFailedEventHandler>::FromRaw(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) noexcept override {
    RecordCall("remove_ProcessFailed " + std::to_string(token.value));
    view_->failedHandlers.erase(token.value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                           EventRegistrationToken* token) noexcept override {
    RecordCall("add_WebResourceRequested");
    if (!handler || !token) return E_POINTER;
    if (view_->closed) return kClosedError;
    token->value = view_->nextToken++;
    view_->resourceHandlers[token->value] =
        ComPtr<ICoreWebView2WebResourceRequestedEventHandler>::FromRaw(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  remove_WebResourceRequested(EventRegistrationToken token) noexcept override {
    RecordCall("remove_WebResourceRequested " + std::to_string(token.value));
    view_->resourceHandlers.erase(token.value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) noexcept override {
    RecordCall("AddWebResourceRequestedFilter " + CallArg(uri) + " " +
               std::to_string(static_cast<int>(resourceContext)));
    if (view_->closed) return kClosedError;
    if (!uri || !*uri) return E_INVALIDARG;
    const int context = static_cast<int>(resourceContext);
    if (context < COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL ||
        context > COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER) {
      return E_INVALIDARG;
    }
    const std::string text = Narrow(uri);
    for (const ResourceFilter& f : view_->resourceFilters) {
      if (f.uri == text && f.context == context) return S_OK;
    }
    view_->resourceFilters.push_back({text, context});
    SendFetchPatterns(view_, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      LPCWSTR uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) noexcept override {
    RecordCall("RemoveWebResourceRequestedFilter " + CallArg(uri) + " " +
               std::to_string(static_cast<int>(resourceContext)));
    if (view_->closed) return kClosedError;
    if (!uri) return E_INVALIDARG;
    const std::string text = Narrow(uri);
    std::vector<ResourceFilter> kept;
    bool found = false;
    for (ResourceFilter& f : view_->resourceFilters) {
      if (f.uri == text && f.context == static_cast<int>(resourceContext)) {
        found = true;
      } else {
        kept.push_back(std::move(f));
      }
    }
    if (!found) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    view_->resourceFilters = std::move(kept);
    SendFetchPatterns(view_, nullptr);
    return S_OK;
  }
  // Forwarded unchanged to the host's own session (worldName, executionContextName and the
  // rest are Chromium's to honour); the handler runs on the window thread, later.
  HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
      LPCWSTR methodName, LPCWSTR parametersAsJson,
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) noexcept override {
    RecordCall("CallDevToolsProtocolMethod " + CallArg(methodName) + " " +
               CallArg(parametersAsJson));
    if (view_->closed) return kClosedError;
    if (!methodName || !*methodName || !parametersAsJson) return E_INVALIDARG;
    JsonValue params;
    // WebView2 refuses parameters that are not one JSON object before anything is sent.
    if (!ParseJson(Narrow(parametersAsJson), &params) || !params.IsObject()) return E_INVALIDARG;
    auto done = ComPtr<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler>::FromRaw(handler);
    view_->core->Call(Narrow(methodName), WriteJson(params), view_->hostSessionId,
                      [done](const CdpIncoming& reply) {
                        if (!done) return;
                        const DevToolsMethodOutcome outcome = OutcomeOfMethodReply(reply);
                        HRESULT hr = S_OK;
                        if (outcome.kind == DevToolsMethodOutcome::Kind::kProtocolError) {
                          hr = E_INVALIDARG;
                        } else if (outcome.kind == DevToolsMethodOutcome::Kind::kNoAnswer) {
                          hr = E_FAIL;
                        }
                        const std::wstring json =
                            Widen(outcome.json.empty() ? "null" : outcome.json);
                        (void)done->Invoke(hr, json.c_str());
                      });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
      LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) noexcept override {
    RecordCall("GetDevToolsProtocolEventReceiver " + CallArg(eventName));
    if (!receiver) return E_POINTER;
    *receiver = nullptr;
    if (view_->closed) return kClosedError;
    if (!eventName || !*eventName) return E_INVALIDARG;
    ComPtr<ICoreWebView2DevToolsProtocolEventReceiver> made =
        MakeDevToolsEventReceiver(view_, Narrow(eventName));
    if (!made) return E_OUTOFMEMORY;
    *receiver = made.get();
    made->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  get_Environment(ICoreWebView2Environment** environment) noexcept override {
    RecordCall("get_Environment");
    if (!environment) return E_POINTER;
    *environment = view_->environment.get();
    if (*environment) (*environment)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR hostName, LPCWSTR folderPath,
      COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND accessKind) noexcept override {
    RecordCall("SetVirtualHostNameToFolderMapping " + CallArg(hostName) + " " +
               CallArg(folderPath) + " " + std::to_string(static_cast<int>(accessKind)));
    if (view_->closed) return kClosedError;
    if (!hostName || !*hostName || !folderPath || !*folderPath) return E_INVALIDARG;
    const std::string host = AsciiLower(Narrow(hostName));
    std::wstring folder = folderPath;
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
      folder.pop_back();
    // Deny and DenyCors both keep other origins from reading the files.
    const bool cors = accessKind == COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW;
    bool replaced = false;
    for (FolderMapping& m : view_->mappings) {
      if (m.host == host) {
        m.folder = folder;
        m.allowCrossOrigin = cors;
        replaced = true;
      }
    }
    if (!replaced) view_->mappings.push_back({host, folder, cors});
    SendFetchPatterns(view_, nullptr);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  ClearVirtualHostNameToFolderMapping(LPCWSTR hostName) noexcept override {
    RecordCall("ClearVirtualHostNameToFolderMapping " + CallArg(hostName));
    if (view_->closed) return kClosedError;
    if (!hostName) return E_INVALIDARG;
    const std::string host = AsciiLower(Narrow(hostName));
    std::vector<FolderMapping> kept;
    for (FolderMapping& m : view_->mappings) {
      if (m.host != host) kept.push_back(std::move(m));
    }
    view_->mappings = std::move(kept);
    SendFetchPatterns(view_, nullptr);
    return S_OK;
  }

 private:
  friend ComObject;
  ~WebView() { view_->webview = nullptr; }

  HRESULT Deliver(const std::string& json) {
    view_->core->Call("Runtime.evaluate",
                      "{\"expression\":" +
                          JsonQuote("window.chrome&&window.chrome.webview&&"
                                    "window.chrome.webview.__dispatch&&"
                                    "window.chrome.webview.__dispatch(" +
                                    JsonQuote(json) + ")") +
                          "}",
                      view_->sessionId, nullptr);
    return S_OK;
  }

  std::shared_ptr<ViewState> view_;
  ComPtr<ICoreWebView2Settings> settings_;
};

}  // namespace

ComPtr<ICoreWebView2> MakeWebView(const std::shared_ptr<ViewState>& view) {
  return ComPtr<ICoreWebView2>::Attach(new (std::nothrow) WebView(view));
}
