#pragma once

// Rewrites QV_Active_<handle>.txt with the current tick count; skipped silently when the
// file cannot be opened (the next heartbeat tries again).
void WriteChartHeartbeat();
