// A stand-in for the studio's top-level window, for the daemon's Windows tests: a window of
// the workspace's window class with no parent or owner, plus an owned pop-up of the same
// class that the daemon's search has to pass over. Prints "HWND <studio> <owned>", then
// answers one command per line on stdin:
//   hide | minimize | state | quit
// "state" replies "STATE visible|hidden iconic|normal".
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;
HWND g_studio = nullptr;

void Reply(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string Handle(HWND window) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}

void RunCommand(const std::string& line) {
  if (line == "hide") {
    ShowWindow(g_studio, SW_HIDE);
    Reply("OK hide");
  } else if (line == "minimize") {
    ShowWindow(g_studio, SW_MINIMIZE);
    Reply("OK minimize");
  } else if (line == "state") {
    Reply(std::string("STATE ") + (IsWindowVisible(g_studio) ? "visible" : "hidden") + " " +
          (IsIconic(g_studio) ? "iconic" : "normal"));
  } else if (line == "quit") {
    Reply("OK quit");
    PostQuitMessage(0);
  } else {
    Reply("ERROR unknown command");
  }
}

}  // namespace

int wmain() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QuorvaleWorkspace_Class";
  RegisterClassW(&wc);
  g_studio = CreateWindowExW(0, wc.lpszClassName, L"Fake Studio", WS_OVERLAPPEDWINDOW, 100, 100,
                             640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  // Created second, so it comes first in the search order.
  HWND owned = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Fake Owned", WS_POPUP, 0, 0,
                               100, 100, g_studio, nullptr, wc.hInstance, nullptr);
  if (!g_studio || !owned) {
    Reply("ERROR CreateWindowExW failed");
    return 1;
  }
  ShowWindow(g_studio, SW_SHOWNOACTIVATE);
  Reply("HWND " + Handle(g_studio) + " " + Handle(owned));

  const DWORD mainThread = GetCurrentThreadId();
  // Window calls stay on the window's own thread; stdin lines travel there as messages.
  std::thread([mainThread] {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
      std::string line(buffer);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      auto* copy = new std::string(line);
      if (!PostThreadMessageW(mainThread, kCommandMessage, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
      }
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
