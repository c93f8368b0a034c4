#include <windows.h>

#include <atomic>

#include "bridge/bridge_names.h"
#include "bridge/chart_heartbeat.h"
#include "bridge/file_replace.h"
#include "host/debug_log.h"
#include "host/process_state.h"

void WriteChartHeartbeatFile() {
  static std::atomic<bool> failing{false};
  const std::wstring path =
      BridgePath(g_folders.bridge, ChartHeartbeatFileName(g_launch.chartWindow));
  // A tick count means nothing after a restart of the machine, so it is never flushed.
  const WriteStatus status = ReplaceFileWhole(path, HeartbeatBody(::GetTickCount64()),
                                              WriteRetry::kBrief, WriteDurability::kProcessKill);
  if (status.ok()) {
    if (failing.exchange(false)) LogDebug("Chart heartbeat written again.");
  } else if (!failing.exchange(true)) {
    LogDebug("Could not write the chart heartbeat: " + DescribeWriteError(status.error));
  }
}
