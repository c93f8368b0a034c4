#pragma once
// The host's side of the HUD's channel (window thread): the HUD registered in its isolated
// world, its binding, the contexts followed, and pushes into the HUD. Decisions in
// overlay/hud_channel.h.
#include <functional>

#include "host/json.h"
#include "webview2/webview2_abi.h"

// Registers the HUD's world scripts, its binding and the page's main-world document scripts,
// subscribes the events the channel follows, and runs registered once every registration has
// completed (failures are logged with their HRESULT and do not hold it up). Accepted
// messages go to the page-message handlers.
void StartHudChannel(ICoreWebView2* webview, std::function<void()> registered);

// Removes the event handlers again (before the view is released).
void StopHudChannel();

// Sends the push to the built HUD of the current document. False when there is none (before
// its HUD_READY, after a navigation, on another site's page): the push is dropped, and what
// must not be lost is pushed again when the next HUD announces itself.
bool PushToHud(const JsonValue& push);

// True while a built HUD of the current document takes pushes.
[[nodiscard]] bool HudCanTakePushes();
