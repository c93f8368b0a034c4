// The DLL's entry point and ICoreWebView2Environment.
#include <windows.h>

#include <new>
#include <thread>

#include "testing/webview2-runtime/browser_start_win.h"
#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/com_object.h"
#include "testing/webview2-runtime/controller_win.h"
#include "testing/webview2-runtime/runtime_update_win.h"
#include "testing/webview2-runtime/text_win.h"
#include "testing/webview2-runtime/view_state_win.h"
#include "webview2/webview2_abi.h"

namespace {

template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

// WebView2 puts its own window into the parent from the calling thread, and Windows
// refuses a child of another DPI awareness than its parent unless the thread allows mixed
// hosting (DPI_HOSTING_BEHAVIOR: "cannot create or re-parent child windows with a different
// DPI_AWARENESS_CONTEXT"). Wine does not enforce that rule, so the runtime does: the
// controller of a thread whose awareness differs from the parent window's is refused.
bool DpiMismatch(HWND parent) {
  using ThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)();
  using WindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
  using AwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
  using HostingFn = DPI_HOSTING_BEHAVIOR(WINAPI*)();
  const auto thread = User32<ThreadContextFn>("GetThreadDpiAwarenessContext");
  const auto window = User32<WindowContextFn>("GetWindowDpiAwarenessContext");
  const auto awareness = User32<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  const auto hosting = User32<HostingFn>("GetThreadDpiHostingBehavior");
  if (!thread || !window || !awareness) return false;
  if (hosting && hosting() == DPI_HOSTING_BEHAVIOR_MIXED) return false;
  return awareness(thread()) != awareness(window(parent));
}

class Environment final
    : public ComObject<Environment, ICoreWebView2Environment, ICoreWebView2Environment> {
 public:
  explicit Environment(std::shared_ptr<RuntimeCore> core) : core_(std::move(core)) {
    core_->SetEnvironment(this);
  }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow,
      ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) noexcept override {
    RecordCall("CreateCoreWebView2Controller " +
               std::to_string(reinterpret_cast<UINT_PTR>(parentWindow)));
    if (!handler) return E_POINTER;
    if (!::IsWindow(parentWindow)) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    if (DpiMismatch(parentWindow)) {
      RecordCall("CreateCoreWebView2Controller refused: DPI awareness differs from the parent's");
      // The exact code of the real refusal is not documented; it arrives in the handler.
      auto done =
          ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::FromRaw(handler);
      core_->Post(
          [done] { (void)done->Invoke(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), nullptr); });
      return S_OK;
    }
    StartController(
        core_, ComPtr<ICoreWebView2Environment>::FromRaw(this), parentWindow,
        ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::FromRaw(handler));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  CreateWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers,
                            ICoreWebView2WebResourceResponse** response) noexcept override {
    RecordCall("CreateWebResourceResponse " + std::to_string(statusCode));
    return MakeWebResourceResponse(content, statusCode, reasonPhrase, headers, response);
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) noexcept override {
    RecordCall("get_BrowserVersionString");
    return CoTaskMemCopy(core_->version(), versionInfo);
  }
  HRESULT STDMETHODCALLTYPE
  add_NewBrowserVersionAvailable(ICoreWebView2NewBrowserVersionAvailableEventHandler* handler,
                                 EventRegistrationToken* token) noexcept override {
    RecordCall("add_NewBrowserVersionAvailable");
    if (!handler || !token) return E_POINTER;
    token->value = core_->AddVersionHandler(
        ComPtr<ICoreWebView2NewBrowserVersionAvailableEventHandler>::FromRaw(handler));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  remove_NewBrowserVersionAvailable(EventRegistrationToken token) noexcept override {
    RecordCall("remove_NewBrowserVersionAvailable " + std::to_string(token.value));
    core_->RemoveVersionHandler(token.value);
    return S_OK;
  }

 private:
  friend ComObject;
  ~Environment() { core_->SetEnvironment(nullptr); }
  std::shared_ptr<RuntimeCore> core_;
};

// WebView2's default: "<exe folder>\<exe name>.WebView2".
std::wstring DefaultUserDataFolder() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  return exe + L".WebView2";
}

std::vector<std::wstring> OptionArguments(IUnknown* options) {
  if (!options) return {};
  ComPtr<ICoreWebView2EnvironmentOptions> typed;
  if (FAILED(options->QueryInterface(IID_ICoreWebView2EnvironmentOptions,
                                     reinterpret_cast<void**>(typed.put()))) ||
      !typed) {
    return {};
  }
  LPWSTR raw = nullptr;
  if (FAILED(typed->get_AdditionalBrowserArguments(&raw)) || !raw) return {};
  std::vector<std::wstring> args = SplitArguments(raw);
  ::CoTaskMemFree(raw);
  return args;
}

}  // namespace

extern "C" HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    BOOL, int runtimeType, PCWSTR userDataFolder, IUnknown* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  RecordCall("CreateWebViewEnvironmentWithOptionsInternal " + std::to_string(runtimeType) + " " +
             CallArg(userDataFolder));
  if (!handler) return E_POINTER;
  // Threads and window procedures of this DLL outlive the call; a loader that frees its
  // handle right away must not unload them.
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&CreateWebViewEnvironmentWithOptionsInternal),
                       &self);

  BrowserRequest request;
  request.userDataFolder =
      userDataFolder && *userDataFolder ? std::wstring(userDataFolder) : DefaultUserDataFolder();
  while (request.userDataFolder.size() > 3 &&
         (request.userDataFolder.back() == L'\\' || request.userDataFolder.back() == L'/')) {
    request.userDataFolder.pop_back();
  }
  request.headful = EnvironmentValue(L"QV_WEBVIEW2_HEADFUL") == L"1";
  request.extraArguments = OptionArguments(options);
  request.version = InstalledRuntimeVersion();

  std::shared_ptr<RuntimeCore> core;
  const HRESULT created =
      RuntimeCore::Create(request.userDataFolder, request.headful, request.version, &core);
  if (FAILED(created)) return created;
  WatchForRuntimeUpdate(core);

  auto callback =
      ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::FromRaw(handler);
  // Starting Chromium takes seconds: a worker does it, the window thread gets the result.
  std::thread([core, request, callback]() mutable {
    std::shared_ptr<DevToolsLink> link;
    bool started = false;
    const HRESULT hr = ConnectOrStartBrowser(request, &link, &started);
    if (SUCCEEDED(hr)) {
      core->Attach(link, started);
    }
    core->Post([core, callback, hr] {
      if (FAILED(hr)) {
        (void)callback->Invoke(hr, nullptr);
        return;
      }
      ComPtr<ICoreWebView2Environment> environment =
          ComPtr<ICoreWebView2Environment>::Attach(new (std::nothrow) Environment(core));
      if (!environment) {
        (void)callback->Invoke(E_OUTOFMEMORY, nullptr);
        return;
      }
      (void)callback->Invoke(S_OK, environment.get());
    });
  }).detach();
  return S_OK;
}
