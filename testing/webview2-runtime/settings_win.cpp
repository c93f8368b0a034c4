// ICoreWebView2Settings: values kept per view; script and web-message switches take effect.
#include <windows.h>

#include <new>

#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

#define QV_SETTING(Name, index)                                         \
  HRESULT STDMETHODCALLTYPE get_##Name(BOOL* value) noexcept override { \
    RecordCall("get_" #Name);                                           \
    if (!value) return E_POINTER;                                       \
    *value = view_->settings.values[index];                             \
    return S_OK;                                                        \
  }                                                                     \
  HRESULT STDMETHODCALLTYPE put_##Name(BOOL value) noexcept override {  \
    RecordCall(std::string("put_" #Name " ") + (value ? "1" : "0"));    \
    view_->settings.values[index] = value ? TRUE : FALSE;               \
    Changed(index);                                                     \
    return S_OK;                                                        \
  }

class Settings final : public ComObject<Settings, ICoreWebView2Settings, ICoreWebView2Settings> {
 public:
  explicit Settings(std::shared_ptr<ViewState> view) : view_(std::move(view)) {}

  QV_SETTING(IsScriptEnabled, kScriptEnabled)
  QV_SETTING(IsWebMessageEnabled, kWebMessageEnabled)
  QV_SETTING(AreDefaultScriptDialogsEnabled, kDefaultScriptDialogsEnabled)
  QV_SETTING(IsStatusBarEnabled, kStatusBarEnabled)
  QV_SETTING(AreDevToolsEnabled, kDevToolsEnabled)
  QV_SETTING(AreDefaultContextMenusEnabled, kDefaultContextMenusEnabled)
  QV_SETTING(AreHostObjectsAllowed, kHostObjectsAllowed)
  QV_SETTING(IsZoomControlEnabled, kZoomControlEnabled)
  QV_SETTING(IsBuiltInErrorPageEnabled, kBuiltInErrorPageEnabled)

 private:
  friend ComObject;
  ~Settings() = default;

  void Changed(int index) {
    if (index != kScriptEnabled || view_->closed) return;
    // Like WebView2, ExecuteScript keeps working: the override only stops page scripts.
    view_->core->Call("Emulation.setScriptExecutionDisabled",
                      std::string("{\"value\":") +
                          (view_->settings.values[kScriptEnabled] ? "false" : "true") + "}",
                      view_->sessionId, nullptr);
  }

  std::shared_ptr<ViewState> view_;
};

}  // namespace

ComPtr<ICoreWebView2Settings> MakeSettings(const std::shared_ptr<ViewState>& view) {
  return ComPtr<ICoreWebView2Settings>::Attach(new (std::nothrow) Settings(view));
}
