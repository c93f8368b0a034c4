#pragma once

// The daemon's main-thread loop; it never returns.
[[noreturn]] void DaemonWatchLoop();
