#include <windows.h>

#include "daemon/watch_loop.h"

void DaemonWatchLoop() {
  // Launch requests, heartbeats and the child table join this loop with the supervisor;
  // until then the daemon keeps its mutex and answers the message queue.
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(100);
  }
}
