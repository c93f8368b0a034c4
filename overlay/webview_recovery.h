#pragma once
// What a child does when its WebView is lost or cannot be made, decided without the OS.
//
// - The page's renderer exited (or hangs): WebView2 shows an error page and Reload brings the
//   page back. A page that keeps crashing is not reloaded for ever: the fourth time within
//   ten minutes the child restarts instead (a new process, a new view).
// - The browser process exited: every view on it is closed (WebView2 moves them to the
//   closed state itself), so the child makes a new environment and controller.
// - Environment or controller creation failed (no runtime yet, a runtime update whose old
//   browser still holds the profile, a busy machine): tried again after a growing pause, and
//   after too many failures in a row the child restarts, so a fresh process (with the
//   runtime as it is installed now) takes over.
#include <cstdint>
#include <deque>

enum class WebViewFailure {
  kRendererExited,
  kRendererUnresponsive,
  kBrowserExited,
  kCreationFailed,
};

enum class RecoveryStep {
  kReload,        // the view lives: reload its page
  kRecreate,      // release the view and create a new environment and controller after delayMs
  kRestartChild,  // end the child so the daemon starts a new one
};

struct RecoveryDecision {
  RecoveryStep step = RecoveryStep::kReload;
  std::uint64_t delayMs = 0;
};

inline constexpr int kMaxReloads = 3;
inline constexpr std::uint64_t kReloadWindowMs = 10 * 60 * 1000;
inline constexpr int kMaxCreationFailures = 8;

class WebViewRecovery {
 public:
  [[nodiscard]] RecoveryDecision OnFailure(WebViewFailure failure, std::uint64_t nowTick);
  // A view was created and set up: creation failures start counting afresh.
  void OnWebViewReady();
  [[nodiscard]] int creationFailures() const { return creationFailures_; }

 private:
  std::deque<std::uint64_t> reloads_;  // when the page was reloaded, oldest first
  int creationFailures_ = 0;
};

// The pause before creation attempt n + 1 after n failures in a row (n >= 0): 1 s, 2 s, 5 s,
// 15 s, 30 s, then a minute.
[[nodiscard]] std::uint64_t CreationBackoffMs(int failures);
