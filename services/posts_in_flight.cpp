#include "services/posts_in_flight.h"

void PostsInFlight::Begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
}

void PostsInFlight::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ > 0) --count_;
  if (count_ == 0) idle_.notify_all();
}

bool PostsInFlight::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return count_ == 0; });
}

std::size_t PostsInFlight::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}
