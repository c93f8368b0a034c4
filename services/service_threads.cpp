#include "services/service_threads.h"

std::atomic<bool>& ShuttingDownFlag() noexcept {
  static std::atomic<bool> flag{false};
  return flag;
}
