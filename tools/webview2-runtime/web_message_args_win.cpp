// ICoreWebView2WebMessageReceivedEventArgs for one message from the page.
#include <windows.h>

#include <atomic>
#include <new>

#include "tools/webview2-runtime/call_log_win.h"
#include "tools/webview2-runtime/json.h"
#include "tools/webview2-runtime/text_win.h"
#include "tools/webview2-runtime/view_state_win.h"

namespace {

class WebMessageArgs final : public ICoreWebView2WebMessageReceivedEventArgs {
 public:
  WebMessageArgs(std::string source, std::string json)
      : source_(Widen(source)), json_(Widen(json)) {
    JsonValue parsed;
    isString_ = ParseJson(json, &parsed) && parsed.IsString();
    if (isString_) text_ = Widen(parsed.text);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) ||
        IsEqualIID(riid, IID_ICoreWebView2WebMessageReceivedEventArgs)) {
      *object = static_cast<ICoreWebView2WebMessageReceivedEventArgs*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) noexcept override {
    RecordCall("get_Source (web message)");
    return CoTaskMemCopy(source_, source);
  }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* webMessageAsJson) noexcept override {
    RecordCall("get_WebMessageAsJson");
    return CoTaskMemCopy(json_, webMessageAsJson);
  }
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* webMessageAsString) noexcept override {
    RecordCall("TryGetWebMessageAsString");
    if (!webMessageAsString) return E_POINTER;
    if (!isString_) {
      *webMessageAsString = nullptr;
      return E_INVALIDARG;
    }
    return CoTaskMemCopy(text_, webMessageAsString);
  }

 private:
  ~WebMessageArgs() = default;
  std::wstring source_;
  std::wstring json_;
  std::wstring text_;
  bool isString_ = false;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

ComPtr<ICoreWebView2WebMessageReceivedEventArgs> MakeWebMessageArgs(std::string source,
                                                                    std::string json) {
  return ComPtr<ICoreWebView2WebMessageReceivedEventArgs>::Attach(
      new (std::nothrow) WebMessageArgs(std::move(source), std::move(json)));
}
