// Test-only console program for the WebView2 loader in a real Windows process; never shipped.
// Usage (one command per run; "-" stands for a null argument):
//   webview2_loader_probe version <folder|->                 GetAvailable...VersionString
//   webview2_loader_probe create <folder|-> <userData|-> [options]
//                                     CreateCoreWebView2EnvironmentWithOptions, optionally
//                                     with an options object whose address is printed
//   webview2_loader_probe nohandler                           the same with a null handler
//   webview2_loader_probe slots                               vtable slot check
//   webview2_loader_probe callback                            MakeComCallback behaviour
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "host/win_handles.h"
#include "testing/webview2-loader-probe/callback_probe.h"
#include "testing/webview2-loader-probe/slot_probe.h"
#include "webview2/com_callback.h"
#include "webview2/webview2_loader.h"

namespace {

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

PCWSTR Argument(int argc, wchar_t** argv, int index) {
  if (index >= argc || std::wstring(argv[index]) == L"-") return nullptr;
  return argv[index];
}

// Enough of an options object for the runtime to receive: its address is what the test
// compares, so every property is unset.
class ProbeOptions final : public ICoreWebView2EnvironmentOptions {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ICoreWebView2EnvironmentOptions))
      return E_NOINTERFACE;
    *object = static_cast<ICoreWebView2EnvironmentOptions*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) noexcept override {
    return Empty(value);
  }
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) noexcept override { return Empty(value); }
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) noexcept override {
    return Empty(value);
  }
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) noexcept override {
    if (!allow) return E_POINTER;
    *allow = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL) noexcept override {
    return E_NOTIMPL;
  }

 private:
  ~ProbeOptions() = default;
  static HRESULT Empty(LPWSTR* value) {
    if (!value) return E_POINTER;
    *value = static_cast<LPWSTR>(::CoTaskMemAlloc(sizeof(wchar_t)));
    if (!*value) return E_OUTOFMEMORY;
    **value = L'\0';
    return S_OK;
  }
  ULONG refs_ = 1;
};

int Version(PCWSTR folder) {
  LPWSTR version = nullptr;
  const HRESULT hr = GetAvailableCoreWebView2BrowserVersionString(folder, &version);
  UniqueCoTaskMem owned(version);
  std::printf("VERSION hr=%08lX text=%ls\n", Hex(hr), version ? version : L"(null)");
  return 0;
}

int Create(PCWSTR folder, PCWSTR userData, bool withOptions) {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(com)) {
    std::printf("COINIT hr=%08lX\n", Hex(com));
    return 1;
  }
  ComPtr<ICoreWebView2EnvironmentOptions> options;
  if (withOptions) {
    options = ComPtr<ICoreWebView2EnvironmentOptions>::Attach(new ProbeOptions());
    std::printf("OPTIONS %p\n", static_cast<void*>(options.get()));
  }
  int calls = 0;
  auto handler = MakeComCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
      [&calls](HRESULT error, ICoreWebView2Environment* environment) -> HRESULT {
        ++calls;
        std::printf("HANDLER hr=%08lX environment=%s\n", Hex(error), environment ? "set" : "null");
        return S_OK;
      });
  const HRESULT hr =
      CreateCoreWebView2EnvironmentWithOptions(folder, userData, options.get(), handler.get());
  std::printf("CREATE hr=%08lX\n", Hex(hr));
  // A real runtime answers later through this thread's message loop.
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  while (SUCCEEDED(hr) && calls == 0 && ::GetTickCount64() < deadline) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  std::printf("HANDLER_CALLS %d\n", calls);
  std::fflush(stdout);
  handler.reset();
  options.reset();
  ::CoUninitialize();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"version") return Version(Argument(argc, argv, 2));
  if (command == L"create") {
    return Create(Argument(argc, argv, 2), Argument(argc, argv, 3),
                  argc > 4 && std::wstring(argv[4]) == L"options");
  }
  if (command == L"nohandler") {
    std::printf("CREATE hr=%08lX\n",
                Hex(CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr, nullptr)));
    return 0;
  }
  if (command == L"slots") return RunSlotProbe() == 0 ? 0 : 1;
  if (command == L"callback") {
    RunCallbackProbe();
    return 0;
  }
  return 2;
}
