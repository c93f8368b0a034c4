#pragma once
// Whether the page shows what the host last asked it to show, for the chart picture the
// copilot reads: a picture taken between a navigation and the new page's first paint is
// the old symbol's chart. The HUD of each new document reports itself (POSITIONS_PULL).
#include <cstdint>

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
