#include <windows.h>

#include "daemon/bridge_names.h"
#include "daemon/chart_heartbeat.h"
#include "host/process_state.h"
#include "host/text_file.h"

void WriteChartHeartbeatFile() {
  const std::wstring path =
      BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow));
  (void)WriteTextFile(path, HeartbeatBody(::GetTickCount64()));
}
