// CapturePreview as WebView2 does it: a page that cannot be painted (the controller hidden,
// or its parent window not visible) is not captured, and its capture does not complete
// (WebView2Feedback #579: S_OK, and the handler is never called). Such a capture is parked
// with its stream; it runs once the view is shown again, or is dropped unrun by Close.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "bridge/base64.h"
#include "testing/webview2-runtime/call_log_win.h"
#include "testing/webview2-runtime/view_state_win.h"

namespace {

HRESULT WriteAll(IStream* stream, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
    ULONG written = 0;
    const HRESULT hr = stream->Write(bytes.data() + done, chunk, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_MEDIUMFULL;
    done += written;
  }
  return S_OK;
}

bool Paintable(const ViewState& view) {
  return !view.closed && view.visible && view.parent && ::IsWindowVisible(view.parent);
}

void Capture(const std::shared_ptr<ViewState>& view, ParkedCapture capture) {
  view->core->Call("Page.captureScreenshot", "{\"format\":\"" + capture.format + "\"}",
                   view->sessionId,
                   [stream = std::move(capture.stream),
                    done = std::move(capture.done)](const CdpIncoming& reply) mutable {
                     HRESULT hr = reply.failed ? E_FAIL : S_OK;
                     std::string bytes;
                     // A corrupted image is reported, never written as if it were one.
                     if (SUCCEEDED(hr) && !Base64Decode(reply.result.StringAt("data"), &bytes))
                       hr = E_FAIL;
                     if (SUCCEEDED(hr) && bytes.empty()) hr = E_FAIL;
                     if (SUCCEEDED(hr)) hr = WriteAll(stream.get(), bytes);
                     // The caller may delete or reopen the file from the handler, so our reference
                     // (and with it the file handle) goes first.
                     stream.reset();
                     if (done) (void)done->Invoke(hr);
                   });
}

}  // namespace

void CaptureOrPark(const std::shared_ptr<ViewState>& view, ParkedCapture capture) {
  if (!Paintable(*view)) {
    RecordCall("CapturePreview parked");
    view->parkedCaptures.push_back(std::move(capture));
    return;
  }
  RunParkedCaptures(view);
  Capture(view, std::move(capture));
}

void RunParkedCaptures(const std::shared_ptr<ViewState>& view) {
  if (view->parkedCaptures.empty() || !Paintable(*view)) return;
  std::vector<ParkedCapture> parked;
  parked.swap(view->parkedCaptures);
  RecordCall("CapturePreview resumed " + std::to_string(parked.size()));
  for (ParkedCapture& capture : parked) Capture(view, std::move(capture));
}
