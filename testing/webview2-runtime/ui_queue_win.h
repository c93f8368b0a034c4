#pragma once
// Work for the thread that created the environment, run from its message loop through a
// message-only window, the way WebView2 delivers every completion and event.
#include <windows.h>

#include <functional>
#include <memory>

class UiQueue {
 public:
  // Creates the window on the calling thread, which then owns the queue.
  [[nodiscard]] static HRESULT Create(std::unique_ptr<UiQueue>* out);
  ~UiQueue();
  UiQueue(const UiQueue&) = delete;
  UiQueue& operator=(const UiQueue&) = delete;

  // From any thread. False when the window is gone; the task is then destroyed unrun.
  bool Post(std::function<void()> task);
  [[nodiscard]] DWORD thread() const { return thread_; }

 private:
  UiQueue(HWND window, DWORD thread) : window_(window), thread_(thread) {}
  HWND window_;
  DWORD thread_;
};
