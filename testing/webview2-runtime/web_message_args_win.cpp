// ICoreWebView2WebMessageReceivedEventArgs for one message from the page.
#include <windows.h>

#include <new>

#include "host/json.h"
#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

class WebMessageArgs final
    : public ComObject<WebMessageArgs, ICoreWebView2WebMessageReceivedEventArgs,
                       ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  WebMessageArgs(std::string source, std::string json)
      : source_(Widen(source)), json_(Widen(json)) {
    JsonValue parsed;
    isString_ = ParseJson(json, &parsed) && parsed.IsString();
    if (isString_) text_ = Widen(parsed.text);
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
  friend ComObject;
  ~WebMessageArgs() = default;
  std::wstring source_;
  std::wstring json_;
  std::wstring text_;
  bool isString_ = false;
};

}  // namespace

ComPtr<ICoreWebView2WebMessageReceivedEventArgs> MakeWebMessageArgs(std::string source,
                                                                    std::string json) {
  return ComPtr<ICoreWebView2WebMessageReceivedEventArgs>::Attach(
      new (std::nothrow) WebMessageArgs(std::move(source), std::move(json)));
}
