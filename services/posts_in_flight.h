#pragma once
// Counts the asynchronous POSTs (journal uploads, Telegram notices) still running, so a
// process that is asked to stop can give them a short grace period instead of cutting them
// off the moment it exits.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class PostsInFlight {
 public:
  void Begin();
  void End();
  // True once none is running, false when some still run after the timeout.
  [[nodiscard]] bool WaitUntilIdle(std::chrono::milliseconds timeout);
  [[nodiscard]] std::size_t Count();

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t count_ = 0;
};

// Long enough for an upload that is under way on a healthy line, short enough that a chart
// closing or a log-off is not held up by a dead server.
inline constexpr std::chrono::milliseconds kExitGraceForPosts{3000};
