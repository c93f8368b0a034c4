#pragma once

// Resolves and creates the common, bridge and workspace data folders under %APPDATA%.
// On failure the stored paths stay empty and nothing is created.
void ResolveWorkspaceFolders();
