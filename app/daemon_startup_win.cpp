#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "app/runtime_installer.h"
#include "app/startup.h"
#include "bridge/leftover_temporaries.h"
#include "bridge/text_file.h"
#include "daemon/bridge_folder.h"
#include "daemon/watch_loop.h"
#include "host/autostart.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "host/win_handles.h"
#include "services/http_client.h"
#include "services/service_threads.h"
#include "services/workspace_store.h"

std::vector<std::wstring> ProcessArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  UniqueLocal list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!list) return args;
  auto* argv = static_cast<LPWSTR*>(list.get());
  for (int i = 0; i < count; ++i) args.emplace_back(argv[i]);
  return args;
}

namespace {

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

}  // namespace

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
