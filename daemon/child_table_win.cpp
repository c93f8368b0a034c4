#include <windows.h>

#include "daemon/child_table_win.h"

#include <vector>

#include "bridge/bridge_names.h"
#include "bridge/file_replace.h"
#include "bridge/request_target.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"

namespace {

constexpr wchar_t kWindowClass[] = L"QuorvaleWorkspace_Class";

HWND AsWindow(std::uint64_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

// The studio is the one window of our class that is top-level: overlays are children of
// their chart windows.
HWND FindStudioWindow() {
  HWND window = ::FindWindowExW(nullptr, nullptr, kWindowClass, nullptr);
  while (window && (::GetParent(window) || ::GetWindow(window, GW_OWNER))) {
    window = ::FindWindowExW(nullptr, window, kWindowClass, nullptr);
  }
  return window;
}

}  // namespace

ChildState Win32ChildOps::StateOf(const Process& process) {
  // The object is signalled exactly when the process has ended; an exit code alone cannot
  // tell a live child from one that happened to exit with 259 (STILL_ACTIVE).
  switch (::WaitForSingleObject(process.get(), 0)) {
    case WAIT_OBJECT_0: {
      DWORD code = 0;
      return ::GetExitCodeProcess(process.get(), &code) && code == kChildRestartExitCode
                 ? ChildState::kEndedForRestart
                 : ChildState::kEnded;
    }
    case WAIT_TIMEOUT:
      return ChildState::kRunning;
    default:
      return ChildState::kUnknown;
  }
}

void Win32ChildOps::Terminate(Process& process) {
  if (!::TerminateProcess(process.get(), 0)) return;
  // Termination completes asynchronously; without this wait the replacement could open its
  // window in the chart while the old overlay still holds it.
  (void)::WaitForSingleObject(process.get(), 2000);
}

bool Win32ChildOps::Start(const std::wstring& commandLine, Process* out, unsigned long* error) {
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const BOOL created = ::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
  const DWORD lastError = ::GetLastError();
  if (!created) {
    *error = lastError;
    return false;
  }
  ::CloseHandle(info.hThread);
  out->reset(info.hProcess);
  return true;
}

bool Win32ChildOps::ChartWindowExists(std::uint64_t handle) {
  return handle != 0 && ::IsWindow(AsWindow(handle));
}

bool Win32ChildOps::AdoptOverlayInChart(std::uint64_t handle, Process* out) {
  HWND overlay = ::FindWindowExW(AsWindow(handle), nullptr, kWindowClass, nullptr);
  if (!overlay) return false;
  DWORD processId = 0;
  ::GetWindowThreadProcessId(overlay, &processId);
  if (processId == 0 || processId == ::GetCurrentProcessId()) return false;
  UniqueHandle process(::OpenProcess(
      SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  *out = std::move(process);
  return true;
}

bool Win32ChildOps::RaiseStudioWindow() {
  HWND studio = FindStudioWindow();
  if (!studio || !::IsWindow(studio)) return false;
  ::ShowWindow(studio, SW_RESTORE);
  ::ShowWindow(studio, SW_SHOWNORMAL);
  // Top-most and back at once lifts the window over others without leaving it pinned there.
  constexpr UINT kKeepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW;
  ::SetWindowPos(studio, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
  ::SetWindowPos(studio, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
  ::BringWindowToTop(studio);
  ::SetForegroundWindow(studio);
  return true;
}

void Win32ChildOps::WriteNavigationRequest(std::uint64_t handle, const std::string& utf8Symbol) {
  const WriteStatus status =
      ReplaceFileWhole(BridgePath(g_folders.bridge, NavigationRequestFileName(handle)), utf8Symbol,
                       WriteRetry::kPatient);
  if (!status.ok()) {
    LogDebug("Could not write the navigation request for chart " + std::to_string(handle) + ": " +
             DescribeWriteError(status.error));
  }
}

void Win32ChildOps::WriteEvalRequest(std::uint64_t handle) {
  // Named, so that a chart overlay polling the same file leaves it to the studio.
  const WriteStatus status = ReplaceFileWhole(BridgePath(g_folders.bridge, kEvalRequestFileName),
                                              EvalRequestBody(handle), WriteRetry::kPatient);
  if (!status.ok())
    LogDebug("Could not write the evaluation request: " + DescribeWriteError(status.error));
}

void Win32ChildOps::DeleteKillRequest(std::uint64_t handle) {
  ::DeleteFileW(BridgePath(g_folders.bridge, KillRequestFileName(handle)).c_str());
}

void Win32ChildOps::DeleteChartHeartbeat(std::uint64_t handle) {
  ::DeleteFileW(BridgePath(g_folders.bridge, ChartHeartbeatFileName(handle)).c_str());
}

void Win32ChildOps::WriteRestartRequest(std::uint64_t handle) {
  // Not flushed: after a power loss there is no child left to ask.
  const WriteStatus status =
      ReplaceFileWhole(BridgePath(g_folders.bridge, RestartRequestFileName(handle)), "RESTART",
                       WriteRetry::kPatient, WriteDurability::kProcessKill);
  if (!status.ok()) {
    LogDebug("Could not ask the child of chart " + std::to_string(handle) +
             " to restart: " + DescribeWriteError(status.error));
  }
}

std::uint64_t Win32ChildOps::NowMs() {
  return ::GetTickCount64();
}

std::wstring Win32ChildOps::ProgramPath() {
  return programPath;
}

std::wstring Win32ChildOps::ToWide(const std::string& text) {
  return Utf8ToWide(text);
}

std::string Win32ChildOps::ToUtf8(const std::wstring& text) {
  return WideToUtf8(text);
}

void Win32ChildOps::Log(const std::string& message) {
  LogDebug(message);
}
