#include <windows.h>

#include <mutex>
#include <thread>

#include "host/debug_log.h"
#include "services/cot_refresh.h"
#include "services/service_threads.h"
#include "services/telegram.h"

namespace {
// Both threads are detached and owned by nobody: the refresh ends by itself, the worker at
// the shutting-down flag or with its process.
void StartDetached(void (*procedure)() noexcept, const char* what) {
  try {
    std::thread(procedure).detach();
  } catch (const std::exception&) {
    LogDebug(std::string("Could not start the ") + what + " thread.");
  }
}
}  // namespace

void StartCotRefreshThread() {
  static std::once_flag once;
  std::call_once(once, [] { StartDetached(CotRefresh, "COT update"); });
}

void StartTelegramWorkerThread() {
  static std::once_flag once;
  std::call_once(once, [] { StartDetached(TelegramWorker, "Telegram worker"); });
}
