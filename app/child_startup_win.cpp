#include <windows.h>

#include <objbase.h>

#include <string>

#include "app/role_selection.h"
#include "app/runtime_installer.h"
#include "app/startup.h"
#include "bridge/bridge_names.h"
#include "bridge/chart_heartbeat.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/process_state.h"
#include "overlay/child_host.h"
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
}  // namespace

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
