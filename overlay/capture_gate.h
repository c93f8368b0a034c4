#pragma once
// When the chart picture the copilot reads may be taken: one capture at a time, and only of
// a page that shows what the host last asked it to show.
//
// One page capture at a time. WebView2 may never complete a capture (it does not while the
// view is hidden, WebView2Feedback #579), and each capture holds an open file until it
// completes; so a capture is waited for only so long, after which a new one may start, and
// a completion that arrives after that (or after a newer start) is stale.
#include <cstdint>

class CaptureGate {
 public:
  enum class Admission {
    kStart,          // nothing in flight
    kBusy,           // one in flight, not yet overdue
    kStartGivingUp,  // the one in flight is overdue and given up
  };

  explicit CaptureGate(std::uint64_t timeoutMs) : timeoutMs_(timeoutMs) {}

  [[nodiscard]] Admission Admit(std::uint64_t nowTick) const;
  // Marks a capture as started; its token is handed to Complete.
  [[nodiscard]] std::uint64_t Start(std::uint64_t nowTick);
  // The capture of token completed. True when it is the one in flight and not overdue (its
  // picture is current); either way a capture of that token no longer holds the gate.
  [[nodiscard]] bool Complete(std::uint64_t token, std::uint64_t nowTick);

 private:
  std::uint64_t timeoutMs_;
  std::uint64_t current_ = 0;  // token of the capture in flight, 0 when none
  std::uint64_t startedAt_ = 0;
  std::uint64_t lastToken_ = 0;
};

// Whether the page shows what the host last asked it to show, for the chart picture the
// copilot reads: a picture taken between a navigation and the new page's first paint is
// the old symbol's chart. The HUD of each new document reports itself (POSITIONS_PULL).
// The HUD reports once its panel exists; the chart itself paints a moment later.
inline constexpr std::uint64_t kPaintSettleMs = 1500;
// A page that never reports (no HUD in it) is captured anyway after this long; the page
// marks such a picture as possibly stale itself.
inline constexpr std::uint64_t kReportWaitLimitMs = 15000;

class PageReadiness {
 public:
  void Navigated(std::uint64_t nowTick) {
    navigatedAt_ = nowTick;
    reported_ = false;
  }
  void PageReported(std::uint64_t nowTick) {
    reported_ = true;
    reportedAt_ = nowTick;
  }
  [[nodiscard]] bool ReadyForPicture(std::uint64_t nowTick) const {
    if (reported_) return nowTick - reportedAt_ >= kPaintSettleMs;
    return navigatedAt_ != 0 && nowTick - navigatedAt_ >= kReportWaitLimitMs;
  }

 private:
  std::uint64_t navigatedAt_ = 0;
  std::uint64_t reportedAt_ = 0;
  bool reported_ = false;
};
