#pragma once

// The daemon's main-thread loop; it never returns.
[[noreturn]] void DaemonWatchLoop();

// One pass over the launch requests waiting in the bridge folder.
void ProcessLaunchRequests();
