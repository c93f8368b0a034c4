#pragma once
// The visual journal on the window thread of a chart overlay or studio process: called
// from the 500 ms housekeeping timer, after the heartbeat and the positions push.

// Claims every waiting capture request, captures the page into a temporary PNG per
// request and, once a capture has finished, uploads it and sends the trade-filled notice.
void CaptureRequestWatcher();
