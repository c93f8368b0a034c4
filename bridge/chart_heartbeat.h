#pragma once

// Rewrites QV_Active_<handle>.txt with the current tick count, unthrottled. A failure is
// logged once per run of failures (the next heartbeat tries again, and a log line every
// 4 s would bury everything else).
void WriteChartHeartbeatFile();
