// A stand-in for a MetaTrader chart window, for the Windows tests. The terminal's chart is
// not a top-level window: it is a view inside a chart window (an MDI child) inside the MDI
// client of the terminal's frame, and the terminal runs with a DPI awareness of its own.
// This program builds the same hierarchy:
//
//   frame "Fake Terminal" (top level) > MDICLIENT > chart window "<title>" > chart view
//
// prints "DPI <awareness> <how it was set>" and then "HWND <decimal>" (the chart view, which
// is what the companion hands over), then obeys one command per line on stdin:
//   resize W H      the chart window (the view fills its client area)
//   move X Y        the terminal's frame on the screen
//   mdimove X Y     the chart window inside the frame
//   minimize | restore          the terminal's frame
//   chartmin | chartrestore     the chart window inside the frame
//   close           the chart window is closed (the terminal lives on); answers with the
//                   milliseconds the closing took
//   exists <caption> | dismiss <caption> | boxtext <caption> | answer <caption> yes|no |
//   children | quit
// (boxtext prints the message box's text as "TEXT <text>", line breaks as \n) and answers
// each with one line ("OK ...", "FOUND", "MISSING", "CHILD ..." then "END n").
//
// DPI: the windows get a context of their own, per-monitor v2 where granted (see
// BecomeDpiAware for what Wine does); the functions are looked up at run time.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
constexpr wchar_t kFrameClass[] = L"QV_FakeTerminalFrame";
constexpr wchar_t kChartWindowClass[] = L"QV_FakeChartFrame";
constexpr wchar_t kViewClass[] = L"QV_FakeChartWindow";
HWND g_frame = nullptr;
HWND g_mdiClient = nullptr;
HWND g_chartWindow = nullptr;
HWND g_view = nullptr;

using SetProcessContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using WindowContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(HWND);
using AwarenessFn = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);

template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// Per-monitor v2 where the system has it. Wine 8 has not: it refuses that context
// (ERROR_INVALID_PARAMETER) and makes every process per-monitor (v1) aware from the start,
// so a process cannot choose another one. The windows then take system awareness through
// the thread's context, which Wine honours: it still differs from what a process gets by
// default, so a window parented in without taking the chart's context shows.
std::string BecomeDpiAware() {
  const auto setProcess = User32<SetProcessContextFn>("SetProcessDpiAwarenessContext");
  if (setProcess && setProcess(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    return "per-monitor-v2";
  }
  const auto setThread = User32<SetThreadContextFn>("SetThreadDpiAwarenessContext");
  if (!setThread) return "none";
  if (setThread(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return "per-monitor-v2 (thread)";
  return setThread(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE) ? "system (thread)" : "none";
}

// DPI_AWARENESS of a window (0 unaware, 1 system, 2 per monitor; -1 unknown).
int WindowAwareness(HWND window) {
  const auto context = User32<WindowContextFn>("GetWindowDpiAwarenessContext");
  const auto awareness = User32<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
  if (!context || !awareness) return -1;
  return static_cast<int>(awareness(context(window)));
}

void Reply(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_ERASEBKGND) {
    RECT rect;
    GetClientRect(window, &rect);
    HBRUSH brush = CreateSolidBrush(RGB(30, 34, 45));
    FillRect(reinterpret_cast<HDC>(wparam), &rect, brush);
    DeleteObject(brush);
    return 1;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The chart window keeps its view on the whole client area, as the terminal's does.
LRESULT CALLBACK ChartWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_SIZE && g_view && wparam != SIZE_MINIMIZED) {
    MoveWindow(g_view, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
  }
  if (message == WM_DESTROY && window == g_chartWindow) {
    g_chartWindow = nullptr;
    g_view = nullptr;
  }
  return DefMDIChildProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_CREATE: {
      CLIENTCREATESTRUCT client{};
      client.idFirstChild = 50000;
      g_mdiClient = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                    WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 0, 0, window,
                                    nullptr, GetModuleHandleW(nullptr), &client);
      return g_mdiClient ? 0 : -1;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefFrameProcW(window, g_mdiClient, message, wparam, lparam);
  }
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

BOOL CALLBACK CountChild(HWND child, LPARAM counter) {
  wchar_t cls[128] = {};
  GetClassNameW(child, cls, 128);
  RECT rect{};
  GetWindowRect(child, &rect);
  char line[512];
  std::snprintf(line, sizeof line, "CHILD %llu %ls %ld %ld %s %d",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(child)), cls,
                rect.right - rect.left, rect.bottom - rect.top,
                IsWindowVisible(child) ? "visible" : "hidden", WindowAwareness(child));
  Reply(line);
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

void RunCommand(const std::string& line) {
  int a = 0, b = 0;
  if (std::sscanf(line.c_str(), "resize %d %d", &a, &b) == 2) {
    SetWindowPos(g_chartWindow, nullptr, 0, 0, a, b, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("OK resize");
  } else if (std::sscanf(line.c_str(), "move %d %d", &a, &b) == 2) {
    SetWindowPos(g_frame, nullptr, a, b, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("OK move");
  } else if (std::sscanf(line.c_str(), "mdimove %d %d", &a, &b) == 2) {
    SetWindowPos(g_chartWindow, nullptr, a, b, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("OK mdimove");
  } else if (line == "minimize") {
    ShowWindow(g_frame, SW_MINIMIZE);
    Reply("OK minimize");
  } else if (line == "restore") {
    ShowWindow(g_frame, SW_RESTORE);
    Reply("OK restore");
  } else if (line == "chartmin") {
    ShowWindow(g_chartWindow, SW_MINIMIZE);
    Reply("OK chartmin");
  } else if (line == "chartrestore") {
    SendMessageW(g_mdiClient, WM_MDIRESTORE, reinterpret_cast<WPARAM>(g_chartWindow), 0);
    Reply("OK chartrestore");
  } else if (line == "close") {
    // Destroying the chart window destroys the overlay inside it, and this thread waits
    // while the overlay's thread handles its WM_DESTROY: the time is what the terminal would
    // stand still.
    const ULONGLONG started = GetTickCount64();
    if (g_chartWindow) {
      SendMessageW(g_mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(g_chartWindow), 0);
    }
    Reply("OK close " + std::to_string(GetTickCount64() - started));
  } else if (line.rfind("exists ", 0) == 0) {
    Reply(FindWindowW(nullptr, Widen(line.substr(7)).c_str()) ? "FOUND" : "MISSING");
  } else if (line.rfind("dismiss ", 0) == 0) {
    HWND box = FindWindowW(nullptr, Widen(line.substr(8)).c_str());
    if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
    Reply(box ? "OK dismiss" : "MISSING");
  } else if (line.rfind("boxtext ", 0) == 0) {
    HWND box = FindWindowW(nullptr, Widen(line.substr(8)).c_str());
    // A message box shows its text in the static control 0xFFFF.
    wchar_t text[2048] = {};
    if (box) GetDlgItemTextW(box, 0xFFFF, text, 2048);
    std::string utf8;
    for (const wchar_t* p = text; *p; ++p) {
      if (*p == L'\n') {
        utf8 += "\\n";
      } else if (*p != L'\r') {
        char buffer[8];
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, p, 1, buffer, sizeof buffer, nullptr, nullptr);
        utf8.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
      }
    }
    Reply(box ? "TEXT " + utf8 : "MISSING");
  } else if (line.rfind("answer ", 0) == 0) {
    const std::size_t last = line.rfind(' ');
    const std::string caption = line.substr(7, last - 7);
    HWND box = FindWindowW(nullptr, Widen(caption).c_str());
    if (box) PostMessageW(box, WM_COMMAND, line.substr(last + 1) == "yes" ? IDYES : IDNO, 0);
    Reply(box ? "OK answer" : "MISSING");
  } else if (line == "children") {
    int count = 0;
    if (g_view) EnumChildWindows(g_view, CountChild, reinterpret_cast<LPARAM>(&count));
    Reply("END " + std::to_string(count));
  } else if (line == "quit") {
    Reply("OK quit");
    DestroyWindow(g_frame);
  } else {
    Reply("ERROR unknown command");
  }
}

bool Register(const wchar_t* name, WNDPROC proc, HBRUSH background) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = background;
  return RegisterClassW(&wc) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* title = argc > 1 ? argv[1] : L"Fake Chart";
  const std::string dpi = BecomeDpiAware();
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!Register(kFrameClass, FrameProc, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1)) ||
      !Register(kChartWindowClass, ChartWindowProc, nullptr) ||
      !Register(kViewClass, ViewProc, nullptr)) {
    Reply("ERROR RegisterClassW failed");
    return 1;
  }
  g_frame = CreateWindowExW(0, kFrameClass, (std::wstring(L"Fake Terminal - ") + title).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 20, 1200, 900, nullptr,
                            nullptr, instance, nullptr);
  if (!g_frame) {
    Reply("ERROR CreateWindowExW failed (frame)");
    return 1;
  }
  ShowWindow(g_frame, SW_SHOWNOACTIVATE);
  g_chartWindow = CreateMDIWindowW(kChartWindowClass, title, WS_CLIPCHILDREN | WS_VISIBLE, 10, 10,
                                   1024, 700, g_mdiClient, instance, 0);
  RECT client{};
  if (g_chartWindow) GetClientRect(g_chartWindow, &client);
  g_view =
      g_chartWindow
          ? CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                            client.right, client.bottom, g_chartWindow, nullptr, instance, nullptr)
          : nullptr;
  if (!g_view) {
    Reply("ERROR CreateWindowExW failed (chart)");
    return 1;
  }
  Reply("DPI " + std::to_string(WindowAwareness(g_view)) + " " + dpi);
  Reply("HWND " + std::to_string(reinterpret_cast<std::uintptr_t>(g_view)));

  const DWORD mainThread = GetCurrentThreadId();
  // stdin is read on its own thread; each line travels to the window thread as a message
  // so window calls always happen on the thread that owns the windows.
  std::thread([mainThread] {
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
      std::string line(buffer);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      auto* copy = new std::string(line);
      if (!PostThreadMessageW(mainThread, kCommandMessage, 0, reinterpret_cast<LPARAM>(copy)))
        delete copy;
    }
    PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
  }).detach();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kCommandMessage) {
      std::string* line = reinterpret_cast<std::string*>(message.lParam);
      RunCommand(*line);
      delete line;
      continue;
    }
    if (g_mdiClient && TranslateMDISysAccel(g_mdiClient, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
