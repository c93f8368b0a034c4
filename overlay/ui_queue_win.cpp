#include <windows.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "host/debug_log.h"
#include "overlay/ui_queue.h"

namespace {

constexpr UINT kTaskMessage = WM_APP + 0x51;
constexpr wchar_t kClassName[] = L"QuorvaleWorkspace_Queue";

using Task = std::function<void()>;

std::atomic<HWND> g_queue{nullptr};

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case kTaskMessage: {
      std::unique_ptr<Task> task(reinterpret_cast<Task*>(lparam));
      try {
        if (task && *task) (*task)();
      } catch (...) {
        // A task's failure must not unwind into the message loop.
        LogDebug("A task for the window thread failed.");
      }
      return 0;
    }
    case WM_DESTROY: {
      g_queue = nullptr;
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

}  // namespace

bool StartUiQueue() {
  if (g_queue.load()) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = QueueProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    LogDebug("No window-thread queue (RegisterClassExW error " + std::to_string(::GetLastError()) +
             ").");
    return false;
  }
  HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  if (!window) {
    LogDebug("No window-thread queue (CreateWindowExW error " + std::to_string(::GetLastError()) +
             ").");
    return false;
  }
  g_queue = window;
  return true;
}

bool PostToWindowThread(std::function<void()> task) {
  const HWND window = g_queue.load();
  if (!window) return false;
  auto* heap = new (std::nothrow) Task(std::move(task));
  if (!heap) return false;
  if (!::PostMessageW(window, kTaskMessage, 0, reinterpret_cast<LPARAM>(heap))) {
    delete heap;
    return false;
  }
  return true;
}
