#pragma once

// Thread procedure: refreshes QV_COTData.json in the bridge folder from the cloud service
// when it is missing or at least 24 hours old. Runs once and ends.
void CotRefresh() noexcept;
