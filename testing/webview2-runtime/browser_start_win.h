#pragma once
// Connect to the Chromium that serves a user-data folder, or start it: one browser per
// folder, shared by every process that uses the folder.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/webview2-runtime/devtools_link_win.h"

struct BrowserRequest {
  std::wstring userDataFolder;  // Windows path
  bool headful = false;
  std::vector<std::wstring> extraArguments;
  std::wstring version;  // of the runtime asking: a browser of another version is refused
};

// Blocking (seconds when Chromium has to start): run it on a worker thread. *started tells
// whether this call launched the browser. A running browser started by another runtime
// version holds the folder: HRESULT_FROM_WIN32(ERROR_INVALID_STATE), as WebView2 refuses a
// new version while the old browser process lives (WebView2Feedback #674).
[[nodiscard]] HRESULT ConnectOrStartBrowser(const BrowserRequest& request,
                                            std::shared_ptr<DevToolsLink>* link, bool* started);
