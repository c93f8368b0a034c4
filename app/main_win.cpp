#include <windows.h>

#include <objbase.h>

#include "host/crash_filter.h"
#include "app/role_selection.h"
#include "app/startup.h"
#include "host/workspace_folders.h"

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
