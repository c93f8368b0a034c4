#pragma once
// QV_EvalRequest.txt: the daemon asks one process (the one its "HWND=" names) for an
// evaluation of its page. Window thread, every 500 ms.
void CheckEvaluationRequest();
