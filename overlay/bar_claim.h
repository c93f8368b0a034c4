#pragma once
// The AutoTrader's bar claim: every HUD page of the log-on that sees a new bar of an
// instrument asks for it with "AT_CLAIM:<instrument>,<bar>,<token>", and the first asker
// gets it. The host records the winner's token in a claim file in the bridge folder, which
// every page then reads, so one page evaluates (and may trade) each instrument's bar.
#include <cstdint>
#include <string>

struct BarClaim {
  std::string instrument;  // 1-32 of A-Z a-z 0-9 _ - .
  std::string bar;         // 1-20 decimal digits
  std::string token;       // 8-64 of A-Z a-z 0-9, the page's own name
};

// False for anything but three fields of the forms above: the fields become a file name
// and file content, so nothing outside those sets is accepted.
[[nodiscard]] bool ParseBarClaim(const std::string& rest, BarClaim* claim);

// QV_ATClaim_<instrument>_<bar>.txt
[[nodiscard]] std::string BarClaimFileName(const BarClaim& claim);

// Claim files are matched by this pattern when old ones are removed.
inline constexpr const char* kBarClaimFilePattern = "QV_ATClaim_*.txt";

// A claim older than this is of no use to anybody (bars of the past two days at most
// still matter to a page that was asleep) and is removed.
inline constexpr std::uint64_t kBarClaimKeepMs = 2ULL * 24 * 3600 * 1000;

[[nodiscard]] bool IsExpiredBarClaim(std::uint64_t ageMs);

// The host's side of "AT_CLAIM:" (bar_claim_win.cpp): creates the claim file for the first
// asker of an instrument's bar.
enum class ClaimResult {
  kClaimed,  // this request created the claim
  kTaken,    // an earlier request holds it
  kRefused,  // unusable fields
  kFailed,   // the file could not be created or written (logged)
};

[[nodiscard]] ClaimResult HandleBarClaim(const std::string& rest);
