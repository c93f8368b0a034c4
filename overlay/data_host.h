#pragma once
// Serving the virtual data host from the host itself (window thread): the bridge files the
// HUD and studio read and the studio page, answered as overlay/data_host_request.h decides.
#include "webview2/webview2_abi.h"

// Adds the data host's resource filter and handler to the view; logs the outcome with the
// start-up line traders look for. The environment makes the responses and must outlive
// the view's use of the handler.
void ServeDataHost(ICoreWebView2* webview, ICoreWebView2Environment* environment);

// Removes the handler again (before the view is released).
void StopServingDataHost(ICoreWebView2* webview);
