#pragma once
// The bridge folder lives in the terminal's common folder, which only MetaTrader 5 creates.
// A daemon started before the terminal ever ran keeps watching for that folder.

// True when the bridge folder exists, creating it once the terminal's common folder is
// there. The first miss is logged with the path; nothing is logged again until it appears.
[[nodiscard]] bool EnsureBridgeFolder();
