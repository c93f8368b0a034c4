#include "overlay/capture_gate.h"

CaptureGate::Admission CaptureGate::Admit(std::uint64_t nowTick) const {
  if (current_ == 0) return Admission::kStart;
  return nowTick - startedAt_ < timeoutMs_ ? Admission::kBusy : Admission::kStartGivingUp;
}

std::uint64_t CaptureGate::Start(std::uint64_t nowTick) {
  current_ = ++lastToken_;
  startedAt_ = nowTick;
  return current_;
}

bool CaptureGate::Complete(std::uint64_t token, std::uint64_t nowTick) {
  if (token == 0 || token != current_) return false;
  current_ = 0;
  return nowTick - startedAt_ < timeoutMs_;
}
