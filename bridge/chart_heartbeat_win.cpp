#include <windows.h>

#include "bridge/bridge_names.h"
#include "bridge/chart_heartbeat.h"
#include "host/process_state.h"
#include "bridge/text_file.h"

void WriteChartHeartbeatFile() {
  const std::wstring path =
      BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow));
  (void)WriteTextFile(path, HeartbeatBody(::GetTickCount64()));
}
