#include <windows.h>

#include "testing/webview2-loader-probe/callback_probe.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "webview2/com_callback.h"
#include "webview2/webview2_abi.h"

namespace {

unsigned long Hex(HRESULT hr) {
  return static_cast<unsigned long>(hr);
}

// Reports when the last copy of the callable is gone, i.e. when the handler was deleted.
struct DestructionFlag {
  bool* destroyed = nullptr;
  ~DestructionFlag() {
    if (destroyed) *destroyed = true;
  }
};

}  // namespace

void RunCallbackProbe() {
  bool destroyed = false;
  HRESULT seenError = S_OK;
  std::wstring seenText;
  auto flag = std::make_shared<DestructionFlag>();
  flag->destroyed = &destroyed;
  ComPtr<ICoreWebView2ExecuteScriptCompletedHandler> handler =
      MakeComCallback<ICoreWebView2ExecuteScriptCompletedHandler>(
          IID_ICoreWebView2ExecuteScriptCompletedHandler,
          [&, flag](HRESULT error, LPCWSTR json) -> HRESULT {
            seenError = error;
            seenText = json ? json : L"(null)";
            if (seenText == L"throw") throw std::runtime_error("handler failure");
            return E_ABORT;
          });
  flag.reset();

  const HRESULT returned = handler->Invoke(E_ACCESSDENIED, L"{\"a\":1}");
  std::printf("INVOKE returned=%08lX error=%08lX text=%ls\n", Hex(returned), Hex(seenError),
              seenText.c_str());
  std::printf("THROW returned=%08lX\n", Hex(handler->Invoke(S_OK, L"throw")));

  void* raw = nullptr;
  HRESULT hr = handler->QueryInterface(IID_IUnknown, &raw);
  std::printf("QI_IUNKNOWN hr=%08lX same=%d\n", Hex(hr), raw == handler.get());
  if (raw) static_cast<IUnknown*>(raw)->Release();
  raw = nullptr;
  hr = handler->QueryInterface(IID_ICoreWebView2ExecuteScriptCompletedHandler, &raw);
  std::printf("QI_OWN hr=%08lX same=%d\n", Hex(hr), raw == handler.get());
  if (raw) static_cast<IUnknown*>(raw)->Release();
  raw = reinterpret_cast<void*>(1);
  hr = handler->QueryInterface(IID_ICoreWebView2CapturePreviewCompletedHandler, &raw);
  std::printf("QI_OTHER hr=%08lX null=%d\n", Hex(hr), raw == nullptr);
  std::printf("QI_NULL hr=%08lX\n", Hex(handler->QueryInterface(IID_IUnknown, nullptr)));

  // The runtime holds its own references past the caller's; the object must outlive them.
  ICoreWebView2ExecuteScriptCompletedHandler* held = handler.get();
  const ULONG afterAddRef = held->AddRef();
  handler.reset();
  std::printf("REFS afterAddRef=%lu destroyedWhileHeld=%d\n", afterAddRef, destroyed);
  const ULONG afterRelease = held->Release();
  std::printf("RELEASE last=%lu destroyed=%d\n", afterRelease, destroyed);
}
