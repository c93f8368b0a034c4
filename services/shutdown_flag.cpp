#include "services/shutdown_flag.h"

std::atomic<bool>& ShuttingDownFlag() noexcept {
  static std::atomic<bool> flag{false};
  return flag;
}
