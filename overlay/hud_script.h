#pragma once

// The joined HUD script (UTF-8), generated from hud/*.js at build time.
const char* HudScriptUtf8();
