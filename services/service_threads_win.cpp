#include "services/service_threads.h"

// The COT refresh and the Telegram worker come with the services; until then a process
// starts no background threads.
void StartCotRefreshThread() {}
void StartTelegramWorkerThread() {}
