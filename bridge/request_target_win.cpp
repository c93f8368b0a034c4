#include <windows.h>

#include "bridge/request_target_win.h"

#include "bridge/bridge_names.h"
#include "bridge/request_target.h"
#include "bridge/text_file.h"
#include "host/process_state.h"

bool ChartProcessRunning(std::uint64_t handle) {
  if (handle == 0) return false;
  const std::wstring text =
      ReadTextFile(BridgePath(g_folders.bridge, ChartHeartbeatFileName(handle)));
  return IsHeartbeatFresh(WideToUtf8(text), ::GetTickCount64());
}
