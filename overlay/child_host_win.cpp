#include "host/debug_log.h"
#include "overlay/child_host.h"

int RunChildHost(HINSTANCE) {
  // Window creation and the WebView host are not part of this build yet; a child that
  // cannot create its window ends with code 1.
  LogDebug("Overlay window could not be created: overlay host not built.");
  return 1;
}
