#include <windows.h>

#include "overlay/child_window_win.h"

#include <cstdint>
#include <string>

#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/capture_watcher.h"
#include "overlay/chart_picture.h"
#include "overlay/child_lifecycle.h"
#include "overlay/child_window.h"
#include "overlay/order_queue.h"
#include "overlay/page_requests.h"
#include "overlay/positions.h"
#include "overlay/ui_queue.h"
#include "overlay/webview_host.h"
#include "overlay/webview_recovery_win.h"
#include "overlay/workspace_state.h"
#include "services/service_threads.h"

namespace {

constexpr wchar_t kClassName[] = L"QuorvaleWorkspace_Class";
constexpr wchar_t kOverlayTitle[] = L"Quorvale Workspace";
constexpr wchar_t kStudioTitle[] = L"Quorvale AI Copilot Studio \u2014 Institutional Sentinel";
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT_PTR kHousekeepingTimer = 2;

// Windows 10 1607 and later; looked up so the program still starts where they are absent.
template <typename F>
F User32(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)))
                : nullptr;
}

using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using WindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
using AwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetProcessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);

// The overlay is parented into the terminal's chart window, which lives in another process
// with an awareness of its own; Windows refuses a child of another awareness, so the
// window thread takes the chart's. It keeps it: WebView2 creates its own windows in ours
// later, from this thread.
void AdoptChartDpiAwareness(HWND chart) {
  const auto windowContext = User32<WindowContextFn>("GetWindowDpiAwarenessContext");
  const auto setThread = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (!windowContext || !setThread) return;
  const DPI_AWARENESS_CONTEXT context = windowContext(chart);
  if (!context) {
    LogDebug("Could not read the chart window's DPI awareness (error " +
             std::to_string(::GetLastError()) + ").");
    return;
  }
  if (!setThread(context)) {
    LogDebug("Could not take the chart window's DPI awareness (error " +
             std::to_string(::GetLastError()) + ").");
    return;
  }
  const auto awareness = User32<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  if (awareness) {
    LogDebug("Overlay takes the chart window's DPI awareness " +
             std::to_string(static_cast<int>(awareness(context))) + ".");
  }
}

// The studio is a top-level window of its own: per-monitor v2 where the system has it.
void BecomePerMonitorDpiAware() {
  const auto setProcess = User32<SetProcessContextFn>("SetProcessDpiAwarenessContext");
  if (setProcess && setProcess(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
  // Refused where v2 is unknown (Windows before 1703, Wine) or the awareness was set
  // already: the window thread can still have it. Where that is refused too the studio keeps
  // the process's awareness, as it always had; it has no other window to match.
  const auto setThread = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (setThread && !setThread(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    LogDebug("The studio window keeps the process's DPI awareness.");
  }
}

// Timer 1 (50 ms): the chart's place, and the bridge requests addressed to this child.
void OnFollowTimer() {
  TrackChartWindow();
  if (IsShuttingDown()) return;
  CheckKillAndNavigation();
  RepairSupersededNavigation();
}

// Timer 2 (500 ms): the heartbeat, and the fallbacks of everything the folder watch and
// the queue deliver sooner.
void OnHousekeepingTimer() {
  WriteChartHeartbeat();
  PushOpenPositions();
  PushOrderResults();
  PushWorkspaceState(false);
  CaptureRequestWatcher();
  CheckEvaluationRequest();
  CaptureChart();
}

struct Icons {
  HICON large = nullptr;
  HICON small = nullptr;
};

Icons LoadProgramIcons(HINSTANCE instance) {
  Icons icons;
  icons.large = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (!icons.large) icons.large = ::LoadIconW(instance, MAKEINTRESOURCEW(32512));
  if (!icons.large) {
    const std::wstring file = g_folders.bridge + L"\\quorvale.ico";
    icons.large = static_cast<HICON>(::LoadImageW(nullptr, file.c_str(), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXICON),
                                                  ::GetSystemMetrics(SM_CYICON), LR_LOADFROMFILE));
  }
  icons.small = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON),
                                                ::GetSystemMetrics(SM_CYSMICON), 0));
  if (!icons.small) icons.small = icons.large;
  return icons;
}

LRESULT HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE: {
      RECT client{};
      ::GetClientRect(window, &client);
      SetWebViewBounds(client);
      return 0;
    }
    case WM_CLOSE:
      // The studio is an independent workstation: closing it only hides it.
      if (IsStudioMode(g_launch.mode)) {
        ::ShowWindow(window, SW_HIDE);
      } else {
        CleanShutdown();
      }
      return 0;
    case WM_DESTROY:
      CleanShutdown();
      return 0;
    case WM_TIMER:
      if (wParam == kFollowTimer) OnFollowTimer();
      if (wParam == kHousekeepingTimer) OnHousekeepingTimer();
      if (wParam == kRecoveryTimer) OnRecoveryTimer();
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// Nothing may unwind into the system's frames (a bad_alloc from a huge file or page
// message would end the child); the timers run from here too. A fault that repeats every
// tick is logged at most every few seconds.
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    return HandleWindowMessage(window, message, wParam, lParam);
  } catch (...) {
    static ULONGLONG lastLogged = 0;
    const ULONGLONG now = ::GetTickCount64();
    if (lastLogged == 0 || now - lastLogged >= 5000) {
      lastLogged = now;
      LogDebug("Window message " + std::to_string(message) + " exception handled.");
    }
    return 0;
  }
}

bool RegisterWindowClass(HINSTANCE instance, const Icons& icons) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  wc.hIcon = icons.large;
  wc.hIconSm = icons.small;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateOverlayWindow(HINSTANCE instance) {
  RECT chart{};
  ::GetClientRect(g_windows.chart, &chart);
  const WindowRect rect = OverlayRect(chart.right - chart.left, chart.bottom - chart.top);
  AdoptChartDpiAwareness(g_windows.chart);
  HWND window = ::CreateWindowExW(
      0, kClassName, kOverlayTitle, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
      rect.width, rect.height, g_windows.chart, nullptr, instance, nullptr);
  if (!window) {
    // 5 (access denied) is the terminal running elevated: a window of a lower integrity
    // level cannot be its child.
    LogDebug("CreateWindowExW failed with error: " + std::to_string(::GetLastError()));
    return nullptr;
  }
  ::SetParent(window, g_windows.chart);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  ::BringWindowToTop(window);
  return window;
}

HWND CreateStudioWindow(HINSTANCE instance) {
  const WindowRect rect =
      StudioRect(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
  HWND window =
      ::CreateWindowExW(WS_EX_APPWINDOW, kClassName, kStudioTitle, WS_OVERLAPPEDWINDOW, rect.x,
                        rect.y, rect.width, rect.height, nullptr, nullptr, instance, nullptr);
  if (!window) {
    LogDebug("CreateWindowExW failed with error: " + std::to_string(::GetLastError()));
    return nullptr;
  }
  ::ShowWindow(window, SW_RESTORE);
  ::ShowWindow(window, SW_SHOW);
  ::UpdateWindow(window);
  ::BringWindowToTop(window);
  ::SetForegroundWindow(window);
  return window;
}

}  // namespace

int RunChildHost(HINSTANCE instance) {
  g_windows.chart = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(g_launch.chartWindow));
  const Icons icons = LoadProgramIcons(instance);
  RegisterWindowClass(instance, icons);

  const bool studio = IsStudioMode(g_launch.mode);
  if (studio) BecomePerMonitorDpiAware();
  g_windows.window = studio ? CreateStudioWindow(instance) : CreateOverlayWindow(instance);
  if (!g_windows.window) {
    LogDebug(studio ? "Failed to create headless popup window." : "Failed to create child window.");
    return 1;
  }
  if (icons.large) {
    ::SendMessageW(g_windows.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.large));
    ::SendMessageW(g_windows.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
  }

  // Every worker answer (order fates, store results, the relay question) comes back through
  // the queue; without it the page would wait for answers that never arrive.
  if (!StartUiQueue()) {
    LogDebug("Failed to create the window thread's queue.");
    return 1;
  }
  WriteChartHeartbeat();
  StartOrderSender();
  StartCotRefreshThread();
  StartTelegramWorkerThread();
  StartWebViewEnvironment(g_windows.window);
  StartPositionsWatch();
  ::SetTimer(g_windows.window, kFollowTimer, 50, nullptr);
  ::SetTimer(g_windows.window, kHousekeepingTimer, 500, nullptr);

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  FinishShutdown();
}
