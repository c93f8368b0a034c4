#include <windows.h>

#include "overlay/capture_watcher.h"
#include "overlay/chart_picture.h"
#include "overlay/child_lifecycle.h"
#include "overlay/eval_request.h"
#include "overlay/host_timers.h"
#include "overlay/order_queue.h"
#include "overlay/positions_push.h"
#include "overlay/webview_host.h"
#include "overlay/workspace_pushes.h"

void OnFollowTimer() {
  TrackChartWindow();
  if (IsShuttingDown()) return;
  CheckKillAndNavigation();
  RepairSupersededNavigation();
}

void OnHousekeepingTimer() {
  WriteChartHeartbeat();
  PushOpenPositions();
  PushOrderResults();
  PushWorkspaceState(false);
  CaptureRequestWatcher();
  CheckEvaluationRequest();
  CaptureChart();
}
