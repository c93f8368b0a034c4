#include "testing/webview2-runtime/ui_queue_win.h"

#include <mutex>
#include <new>

namespace {

constexpr UINT kTaskMessage = WM_APP + 0x2A1;
constexpr wchar_t kClassName[] = L"QuorvaleWebView2RuntimeQueue";

using Task = std::function<void()>;

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case kTaskMessage: {
      std::unique_ptr<Task> task(reinterpret_cast<Task*>(lparam));
      try {
        if (task && *task) (*task)();
      } catch (...) {
        // A handler's failure must not unwind into the message loop.
      }
      return 0;
    }
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY: {
      // Tasks still queued would leak with the window; free them unrun.
      MSG pending;
      while (::PeekMessageW(&pending, window, kTaskMessage, kTaskMessage, PM_REMOVE)) {
        delete reinterpret_cast<Task*>(pending.lParam);
      }
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&QueueProc), &module);
  return module;
}

}  // namespace

HRESULT UiQueue::Create(std::unique_ptr<UiQueue>* out) {
  static std::once_flag registered;
  static DWORD registerError = ERROR_SUCCESS;
  std::call_once(registered, [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = QueueProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) registerError = ::GetLastError();
  });
  if (registerError != ERROR_SUCCESS && registerError != ERROR_CLASS_ALREADY_EXISTS) {
    return HRESULT_FROM_WIN32(registerError);
  }
  HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ThisModule(), nullptr);
  if (!window) {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  out->reset(new UiQueue(window, ::GetCurrentThreadId()));
  return S_OK;
}

UiQueue::~UiQueue() {
  // Only the owning thread may destroy the window; from elsewhere ask it to.
  if (::GetCurrentThreadId() == thread_) {
    ::DestroyWindow(window_);
  } else {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
}

bool UiQueue::Post(std::function<void()> task) {
  auto* heap = new (std::nothrow) Task(std::move(task));
  if (!heap) return false;
  if (!::PostMessageW(window_, kTaskMessage, 0, reinterpret_cast<LPARAM>(heap))) {
    delete heap;
    return false;
  }
  return true;
}
