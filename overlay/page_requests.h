#pragma once
// What the page is asked for, or asks for, that the host answers itself rather than turning
// into bridge files: a new document's HUD announcing itself, and the daemon's evaluation
// request. Window thread.
#include <string>

// True when message was one of the HUD's own requests (and has been handled).
[[nodiscard]] bool HandlePageRequest(const std::wstring& message);

// QV_EvalRequest.txt: the daemon asks one process (the one its "HWND=" names) for an
// evaluation of its page. Every 500 ms.
void CheckEvaluationRequest();
