// Bench-only: how long a new process takes under this Wine before a line of the workspace's
// own code could run. It links the same system DLLs as QuorvaleWorkspace.exe and initialises
// COM as the chart child must, so "launch → child's first log line" can be read against
// what any process of that shape costs here; never shipped.
//
//   start_floor <rounds>   starts start_floor_child.exe (beside it) <rounds> times and prints,
//                          in ms from CreateProcess,
//                          "FLOOR main <median> <min> <max> COM <median> <min> <max>"
// start_floor_child.exe is this file built as a GUI program, as the workspace is; it signals
// at wWinMain and again after COM.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wininet.h>

#include <bcrypt.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kAtMain[] = L"QuorvaleStartFloorMain";
const wchar_t kAtCom[] = L"QuorvaleStartFloorCom";

#ifdef QV_FLOOR_CHILD
void Signal(const wchar_t* name) {
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  if (event == nullptr) return;
  ::SetEvent(event);
  ::CloseHandle(event);
}

// Never true at run time; the calls keep each DLL among the imports, since the loader's
// work for them is part of what is measured.
void TouchEveryDll(int never) {
  if (never != 12345) return;
  int count = 0;
  ::CommandLineToArgvW(nullptr, &count);
  ::PathFileExistsW(nullptr);
  ::RegCloseKey(nullptr);
  ::GetSysColor(0);
  ::DeleteObject(nullptr);
  ::InternetCloseHandle(nullptr);
  ::GetFileVersionInfoSizeW(nullptr, nullptr);
  ::BCryptGenRandom(nullptr, nullptr, 0, 0);
}

#else
void PrintSeries(const char* label, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf(" %s %.1f %.1f %.1f", label, values[values.size() / 2], values.front(),
              values.back());
}

int Measure(int rounds) {
  HANDLE atMain = ::CreateEventW(nullptr, FALSE, FALSE, kAtMain);
  HANDLE atCom = ::CreateEventW(nullptr, FALSE, FALSE, kAtCom);
  if (atMain == nullptr || atCom == nullptr) return 1;
  wchar_t self[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::wstring child(self);
  child = child.substr(0, child.find_last_of(L"\\/") + 1) + L"start_floor_child.exe";
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  const auto now = [&] {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
  };
  std::vector<double> main;
  std::vector<double> com;
  for (int i = 0; i < rounds; ++i) {
    std::wstring commandLine = L"start_floor_child 0";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = now();
    if (!::CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
      std::printf("FAILED CreateProcess %lu\n", ::GetLastError());
      return 1;
    }
    const bool reached = ::WaitForSingleObject(atMain, 10000) == WAIT_OBJECT_0;
    const double mainAt = now();
    const bool initialised = ::WaitForSingleObject(atCom, 10000) == WAIT_OBJECT_0;
    const double comAt = now();
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (!reached || !initialised) {
      std::printf("FAILED round %d did not signal\n", i);
      return 1;
    }
    main.push_back(mainAt - start);
    com.push_back(comAt - start);
    ::Sleep(250);  // as the bench lets the daemon reap a child between rounds
  }
  std::printf("FLOOR");
  PrintSeries("main", main);
  PrintSeries("COM", com);
  std::printf("\n");
  return 0;
}
#endif

}  // namespace

#ifdef QV_FLOOR_CHILD
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  Signal(kAtMain);
  TouchEveryDll(_wtoi(commandLine));
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Signal(kAtCom);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
}
#else
int wmain(int argc, wchar_t** argv) {
  return Measure(argc >= 2 ? std::max(1, _wtoi(argv[1])) : 8);
}
#endif
