#include "overlay/positions.h"

bool PositionsStampWatch::Moved(const PositionsStamp& stamp) {
  const bool same = seen_ && stamp.present == last_.present && stamp.writeTime == last_.writeTime &&
                    stamp.size == last_.size;
  seen_ = true;
  last_ = stamp;
  return !same;
}

PositionsPush PositionsPushGate::Decide(std::uint64_t writeTime, const std::string& text) {
  if (text.empty()) return PositionsPush::kNothing;
  if (text.size() > kPositionsPushCapBytes) {
    // Refused again on every tick, but said only when the file changed since.
    if (refused_ && refusedTime_ == writeTime && refusedSize_ == text.size()) {
      return PositionsPush::kNothing;
    }
    refused_ = true;
    refusedTime_ = writeTime;
    refusedSize_ = text.size();
    return PositionsPush::kTooLarge;
  }
  if (pushed_ && writeTime == time_ && text == text_) return PositionsPush::kNothing;
  pushed_ = true;
  time_ = writeTime;
  text_ = text;
  return PositionsPush::kPush;
}

void PositionsPushGate::Forget() {
  pushed_ = false;
  time_ = 0;
  text_.clear();
}
