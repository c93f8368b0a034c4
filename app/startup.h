#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Role start-ups; each returns the process exit code (the daemon's never returns).
[[nodiscard]] int RunDaemon();
[[nodiscard]] int RunChild(HINSTANCE instance, const std::vector<std::wstring>& args);

// Splits GetCommandLineW with CommandLineToArgvW; argument 0 is the program path.
[[nodiscard]] std::vector<std::wstring> ProcessArguments();
