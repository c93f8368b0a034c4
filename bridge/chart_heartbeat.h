#pragma once

// Rewrites QV_Active_<handle>.txt with the current tick count, unthrottled; skipped silently when the
// file cannot be opened (the next heartbeat tries again).
void WriteChartHeartbeatFile();
