#pragma once
// How the WebView host tells the recovery of what happens to its WebView, and how the
// recovery acts (overlay/webview_recovery.h decides). Window thread only.
#include <windows.h>

#include "webview2/webview2_abi.h"

// A new view was set up: watch it for a process that fails; the heartbeat resumes and
// creation failures count afresh.
void OnWebViewReady(ICoreWebView2* webview);
// Every environment raises NewBrowserVersionAvailable once the runtime updated itself.
void WatchRuntimeUpdates(ICoreWebView2Environment* environment);
// Environment or controller creation failed (what names the call): retried with backoff.
void OnWebViewCreationFailed(const char* what, HRESULT hr);
// Before the view and environment are released: their handlers go.
void StopWatchingWebView(ICoreWebView2* webview, ICoreWebView2Environment* environment);

// The window's timer that runs the next recovery step.
inline constexpr UINT_PTR kRecoveryTimer = 3;
void OnRecoveryTimer();
