#include <windows.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "overlay/file_writer.h"
#include "overlay/ui_queue.h"

namespace {

std::mutex g_lock;
std::condition_variable g_wake;
std::condition_variable g_idle;
std::deque<std::function<void()>> g_jobs;
bool g_running = false;  // a job is being run
bool g_started = false;
bool g_startFailed = false;

void WriterLoop() noexcept {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> hold(g_lock);
      g_wake.wait(hold, [] { return !g_jobs.empty(); });
      job = std::move(g_jobs.front());
      g_jobs.pop_front();
      g_running = true;
    }
    try {
      job();
    } catch (...) {
      LogDebug("A file job of the window thread failed.");
    }
    std::lock_guard<std::mutex> hold(g_lock);
    g_running = false;
    if (g_jobs.empty()) g_idle.notify_all();
  }
}

// Caller holds g_lock.
bool WriterRunning() {
  if (g_started) return true;
  if (g_startFailed) return false;
  try {
    std::thread(WriterLoop).detach();
    g_started = true;
  } catch (const std::exception&) {
    g_startFailed = true;
    LogDebug("Could not start the file writer thread; window-thread files are not written.");
  }
  return g_started;
}

}  // namespace

bool RunOffWindowThread(std::function<void()> work) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!WriterRunning()) return false;
  g_jobs.push_back(std::move(work));
  g_wake.notify_one();
  return true;
}

bool RunOffWindowThread(std::function<bool()> work, std::function<void(bool)> done) {
  return RunOffWindowThread([work = std::move(work), done = std::move(done)]() mutable {
    bool ok = false;
    try {
      ok = work();
    } catch (...) {
      LogDebug("A file job of the window thread failed.");
    }
    // A window thread already gone (the process ending) has no page left to answer.
    if (!PostToWindowThread([done = std::move(done), ok] { done(ok); })) {
      LogDebug(std::string("A file job ") + (ok ? "done" : "failed") +
               " after the window thread was gone; no page was told.");
    }
  });
}

bool ReplaceFileOffWindowThread(std::wstring path, std::string bytes,
                                std::function<void(WriteStatus)> done, WriteDurability durability) {
  return RunOffWindowThread([path = std::move(path), bytes = std::move(bytes),
                             done = std::move(done), durability]() mutable {
    const WriteStatus status = ReplaceFileWhole(path, bytes, WriteRetry::kPatient, durability);
    if (!done) return;
    // The outcome is for the window thread's log and page; a window thread already gone
    // (the process ending) has no one left to tell, so it is only logged here.
    if (!PostToWindowThread([done = std::move(done), status] { done(status); }) && !status.ok()) {
      LogDebug("Could not write " + WideToUtf8(path) + " (" + DescribeWriteError(status.error) +
               ") after the window thread was gone.");
    }
  });
}

bool DrainFileWriter(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(g_lock);
  return g_idle.wait_for(hold, timeout, [] { return g_jobs.empty() && !g_running; });
}
