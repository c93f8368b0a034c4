#pragma once
// The daemon's main thread: the bridge folder it waits for and watches, and the passes over
// the launch requests that land in it.

// The daemon's main-thread loop; it never returns.
[[noreturn]] void DaemonWatchLoop();

// One pass over the launch requests waiting in the bridge folder.
void ProcessLaunchRequests();

// The bridge folder lives in the terminal's common folder, which only MetaTrader 5 creates.
// A daemon started before the terminal ever ran keeps watching for that folder.

// True when the bridge folder exists, creating it once the terminal's common folder is
// there. The first miss is logged with the path; nothing is logged again until it appears.
[[nodiscard]] bool EnsureBridgeFolder();
