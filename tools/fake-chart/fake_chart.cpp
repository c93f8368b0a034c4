// A stand-in for a MetaTrader chart window, for the Windows tests. It prints
// "HWND <decimal>" once its window exists, then obeys one command per line on stdin:
//   resize W H | move X Y | minimize | restore | close | exists <caption> |
//   dismiss <caption> | boxtext <caption> | answer <caption> yes|no | children | quit
// (boxtext prints the message box's text as "TEXT <text>", line breaks as \n).
// and answers each with one line ("OK ...", "FOUND", "MISSING", ...).
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
HWND g_chart = nullptr;

LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(window, &rect);
      HBRUSH brush = CreateSolidBrush(RGB(30, 34, 45));
      FillRect(reinterpret_cast<HDC>(wparam), &rect, brush);
      DeleteObject(brush);
      return 1;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void Reply(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
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
  std::snprintf(line, sizeof line, "CHILD %llu %ls %ld %ld %s",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(child)), cls,
                rect.right - rect.left, rect.bottom - rect.top,
                IsWindowVisible(child) ? "visible" : "hidden");
  Reply(line);
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

void RunCommand(const std::string& line) {
  int a = 0, b = 0;
  if (std::sscanf(line.c_str(), "resize %d %d", &a, &b) == 2) {
    SetWindowPos(g_chart, nullptr, 0, 0, a, b, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("OK resize");
  } else if (std::sscanf(line.c_str(), "move %d %d", &a, &b) == 2) {
    SetWindowPos(g_chart, nullptr, a, b, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Reply("OK move");
  } else if (line == "minimize") {
    ShowWindow(g_chart, SW_MINIMIZE);
    Reply("OK minimize");
  } else if (line == "restore") {
    ShowWindow(g_chart, SW_RESTORE);
    Reply("OK restore");
  } else if (line == "close") {
    Reply("OK close");
    DestroyWindow(g_chart);
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
    EnumChildWindows(g_chart, CountChild, reinterpret_cast<LPARAM>(&count));
    Reply("END " + std::to_string(count));
  } else if (line == "quit") {
    Reply("OK quit");
    PostQuitMessage(0);
  } else {
    Reply("ERROR unknown command");
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* title = argc > 1 ? argv[1] : L"Fake Chart";
  WNDCLASSW wc{};
  wc.lpfnWndProc = ChartProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QV_FakeChartWindow";
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  RegisterClassW(&wc);
  g_chart = CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                            40, 1024, 700, nullptr, nullptr, wc.hInstance, nullptr);
  if (!g_chart) {
    Reply("ERROR CreateWindowExW failed");
    return 1;
  }
  ShowWindow(g_chart, SW_SHOWNOACTIVATE);
  Reply("HWND " + std::to_string(reinterpret_cast<std::uintptr_t>(g_chart)));

  const DWORD mainThread = GetCurrentThreadId();
  // stdin is read on its own thread; each line travels to the window thread as a message
  // so window calls always happen on the thread that owns the window.
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
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
