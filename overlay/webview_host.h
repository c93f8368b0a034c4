#pragma once
// The one WebView of a child process, seen from the rest of the overlay host. Everything
// here runs on the window thread; calls before the WebView exists do nothing.
#include <windows.h>

#include <functional>
#include <string>

// Starts environment creation with the profile folder; the controller set-up follows in
// the completion callbacks.
void StartWebViewEnvironment(HWND window);

[[nodiscard]] bool WebViewExists();
[[nodiscard]] bool ControllerExists();
void SetWebViewBounds(const RECT& bounds);
void SetWebViewVisible(bool visible);
[[nodiscard]] bool IsWebViewVisible();
void NavigateWebView(const std::wstring& url);
// The chart moved on the screen: WebView2 places its pop-ups (drop-downs) by it.
void NotifyWebViewParentMoved();
// Navigates again when the page ended on an address asked for before the last one.
void RepairSupersededNavigation();
// Reloads the page (after its renderer failed); false when there is no view or it refused.
[[nodiscard]] bool ReloadWebView();

// Captures the visible page as PNG into a new file (the shell's stream on file, created,
// write, share-deny-none); done runs on the window thread with the capture's result once
// the stream is released. False when the capture could not be started.
[[nodiscard]] bool CapturePreviewToFile(const std::wstring& path,
                                        std::function<void(HRESULT)> done);

// Invisible, closed and released controller, then the webview and the environment.
void ReleaseWebView();
