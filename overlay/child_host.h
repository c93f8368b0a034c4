#pragma once
#include <windows.h>

// Creates the overlay or studio window, starts the WebView and runs the message loop until
// the clean shutdown. Returns the process exit code.
[[nodiscard]] int RunChildHost(HINSTANCE instance);
