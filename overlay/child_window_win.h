#pragma once
// A child's window: the overlay inside its chart window or the studio's own top-level
// window, its procedure and timers, and the message loop that runs the child until its
// clean shutdown.
#include <windows.h>

// Creates the overlay or studio window, starts the WebView and runs the message loop until
// the clean shutdown. Returns the process exit code.
[[nodiscard]] int RunChildHost(HINSTANCE instance);
