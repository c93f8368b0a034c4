#pragma once

// The joined HUD script (UTF-8), generated from hud/*.js at build time. The host runs it in
// the isolated world "quorvale_hud" of every document.
const char* HudScriptUtf8();

// The chart page reader (UTF-8), generated from hud/page_reader/*.js: a document script of
// the page's own world that answers the HUD's questions about the chart objects.
const char* HudPageReaderScriptUtf8();
