#pragma once
// Capture requests the terminal companion drops into the bridge folder after a fill.
#include <vector>

#include "services/visual_journal.h"

// Takes every waiting QV_Capture_Request_*.txt, reads and deletes it and returns the
// parsed requests in enumeration order. Each file is first renamed to a name only this
// call knows, so when several processes look at once every request goes to exactly one.
[[nodiscard]] std::vector<CaptureRequest> ClaimCaptureRequests();

// The cloud service's visual-journal function, used when a request names no URL.
[[nodiscard]] std::string DefaultCaptureUploadUrl();
