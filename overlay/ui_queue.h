#pragma once
// The one way a worker thread hands work to the window thread: a task posted to a
// message-only window of that thread and run from its message loop. A task that cannot be
// posted (the window is gone, the process is ending) is destroyed unrun, never lost inside
// the queue.
#include <functional>

// On the window thread, before any worker may post. False when the queue's window cannot
// be made; every post then fails.
[[nodiscard]] bool StartUiQueue();

// From any thread. False when the task was not queued (it is destroyed unrun).
[[nodiscard]] bool PostToWindowThread(std::function<void()> task);
