#pragma once
// The COT cache: QV_COTData.json in the bridge folder, fetched from the cloud service at
// most once a day. The decisions work on raw file times (100 ns units) and raw bytes, so
// they are tested without the clock, the disk or the network.
#include <cstddef>
#include <cstdint>
#include <string>

// Thread procedure: refreshes QV_COTData.json in the bridge folder from the cloud service
// when it is missing or at least 24 hours old. Runs once and ends.
void CotRefresh() noexcept;

// 24 hours in 100-nanosecond units.
inline constexpr std::uint64_t kCotFreshnessLimit = 864000000000ull;

// Fresh while younger than 24 hours; a stamp in the future also counts as fresh, so a
// clock set back never causes a download storm.
[[nodiscard]] bool IsCotFileFresh(std::uint64_t lastWriteTime, std::uint64_t now);

// Longer than 200 bytes and holding "records" somewhere; nothing else is checked.
[[nodiscard]] bool IsAcceptableCotBody(const std::string& body);

// "Successfully saved fresh QV_COTData.json (<n> bytes)."
[[nodiscard]] std::string CotSavedLogLine(std::size_t bytes);
