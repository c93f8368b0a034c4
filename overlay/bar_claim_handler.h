#pragma once
// The host's side of "AT_CLAIM:": creates the claim file for the first asker of an
// instrument's bar (see bar_claim.h).
#include <string>

enum class ClaimResult {
  kClaimed,  // this request created the claim
  kTaken,    // an earlier request holds it
  kRefused,  // unusable fields
  kFailed,   // the file could not be created or written (logged)
};

[[nodiscard]] ClaimResult HandleBarClaim(const std::string& rest);
