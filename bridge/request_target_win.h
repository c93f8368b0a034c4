#pragma once
#include <cstdint>

// True while QV_Active_<handle>.txt holds a fresh heartbeat: that chart's process runs.
[[nodiscard]] bool ChartProcessRunning(std::uint64_t handle);
