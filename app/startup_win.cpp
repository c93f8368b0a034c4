// The program's entry: the role this process plays, and the start-up of each role.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "app/runtime_installer.h"
#include "app/startup.h"
#include "bridge/bridge_names.h"
#include "bridge/leftover_temporaries.h"
#include "bridge/text_file.h"
#include "daemon/watch_loop.h"
#include "host/autostart.h"
#include "host/crash_filter.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "host/workspace_folders.h"
#include "overlay/child_lifecycle.h"
#include "overlay/child_window_win.h"
#include "services/http_client.h"
#include "services/service_threads.h"
#include "services/workspace_store.h"

namespace {
std::string HandleText() {
  return std::to_string(g_launch.chartWindow);
}

// The heartbeat was written at the very start; a child that gives up must not leave the
// companion believing an overlay runs on this chart.
void RemoveOwnHeartbeat() {
  if (g_launch.chartWindow == 0) return;
  ::DeleteFileW(BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow)).c_str());
}

HWND ChartWindow() {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(g_launch.chartWindow));
}

// The chart child or the studio; returns the process exit code.
int RunChild(HINSTANCE instance, const std::vector<std::wstring>& args) {
  g_launch = ParseChildLaunchValues(args);
  if (g_launch.chartWindow != 0) WriteChartHeartbeatFile();

  if (IsStudioMode(g_launch.mode)) {
    LogDebug("Launching Quorvale HEADLESS VPS AGENT for HWND: " + HandleText() +
             " Symbol: " + WideToUtf8(g_launch.symbol));
  } else {
    LogDebug("Launching Quorvale Chart Overlay for HWND: " + HandleText() +
             " Symbol: " + WideToUtf8(g_launch.symbol));
    if (g_launch.chartWindow == 0 || !::IsWindow(ChartWindow())) {
      LogDebug("Parent window is not valid. Exiting.");
      RemoveOwnHeartbeat();
      ::CoUninitialize();
      return 1;
    }
  }

  if (!IsWebView2RuntimePresent()) {
    LogDebug(
        "CRITICAL: WebView2 Runtime NOT installed on this machine/VPS! Initiating automatic "
        "installation...");
    StartRuntimeInstaller();
    // The studio may run without a chart window; the box then has no owner.
    HWND owner = ::IsWindow(ChartWindow()) ? ChartWindow() : nullptr;
    ::MessageBoxW(owner,
                  L"Microsoft Edge WebView2 Runtime is required to render the Quorvale Workspace "
                  L"on this VPS.\n\nQuorvale has triggered the silent background installation.\n"
                  L"Please wait ~30 seconds and then refresh or re-attach the EA.",
                  L"Quorvale Workspace - WebView2 Runtime Required", MB_OK | MB_ICONINFORMATION);
    RemoveOwnHeartbeat();
    ::CoUninitialize();
    return 1;
  }

  g_folders.workspaceData += L"\\Profile";
  MigrateLegacySecrets();
  // A request left over from an earlier child must not end (or restart) this one.
  ::DeleteFileW(BridgePath(g_folders.bridge, KillRequestFileName(g_launch.chartWindow)).c_str());
  ::DeleteFileW(BridgePath(g_folders.bridge, RestartRequestFileName(g_launch.chartWindow)).c_str());
  return RunChildHost(instance);
}

// Splits GetCommandLineW with CommandLineToArgvW; argument 0 is the program path.
std::vector<std::wstring> ProcessArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  UniqueLocal list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!list) return args;
  auto* argv = static_cast<LPWSTR*>(list.get());
  for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
  return args;
}

// The daemon's only stop that can run code: a console close, log-off or shutdown (with a
// console attached). Telegram notices it is still sending get their grace before the
// default handler ends the process.
BOOL WINAPI OnDaemonStop(DWORD event) noexcept {
  try {
    LogDebug("Daemon asked to stop (console event " + std::to_string(event) + ").");
    AwaitPostsBeforeExit();
  } catch (...) {
  }
  return FALSE;
}

// Never returns: the watch loop ends with the process.
int RunDaemon() {
  LogDebug("Starting Quorvale Workspace Daemon Mode...");
  // Before the instance check, so a duplicate still refreshes the entry if the program moved.
  RegisterAutoStart();
  if (!IsWebView2RuntimePresent()) {
    LogDebug(
        "Daemon detected missing WebView2 Runtime. Triggering automatic background installer...");
    StartRuntimeInstaller();
  }
  // Held for the life of the process; the plain name keeps it private to this log-on.
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, L"QuorvaleWorkspace_Daemon_Mutex");
  const DWORD createError = ::GetLastError();
  if (createError == ERROR_ALREADY_EXISTS) {
    LogDebug("Daemon instance already active. Exiting duplicate.");
    if (mutex) ::CloseHandle(mutex);
    ::CoUninitialize();
    return 0;
  }
  if (!::SetConsoleCtrlHandler(OnDaemonStop, TRUE)) {
    LogDebug("Could not register the daemon's stop handler: Windows error " +
             std::to_string(::GetLastError()));
  }
  // Keys and a Telegram token an earlier version left in files others can read move into the
  // protected store before any worker reads them.
  MigrateLegacySecrets();
  StartCotRefreshThread();
  StartTelegramWorkerThread();
  // Only a folder that is there is claimed to be watched; the loop keeps looking for it.
  if (EnsureBridgeFolder()) {
    LogDebug("Quorvale Daemon loop active and watching: " + WideToUtf8(g_folders.bridge));
    // Only the one daemon sweeps, and before it starts any child.
    SweepLeftoverTemporaries(g_folders.bridge);
  }
  DaemonWatchLoop();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // First of all, so that a crash anywhere later still leaves its line in the log.
  ::SetUnhandledExceptionFilter(CrashFilter);
  // The window thread hosts WebView2, which requires a single-threaded apartment.
  (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ResolveWorkspaceFolders();
  const std::vector<std::wstring> args = ProcessArguments();
  if (SelectRole(args) == ProcessRole::kDaemon) return RunDaemon();
  return RunChild(instance, args);
}
