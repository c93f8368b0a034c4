#pragma once
// Which role this process plays and, for a child, its launch values from the command line.
#include <string>
#include <vector>

#include "host/process_state.h"

enum class ProcessRole { kDaemon, kChild };

// Exactly one of "--daemon", "-daemon", "/daemon", "daemon", "-d"; case-sensitive.
[[nodiscard]] bool IsDaemonSwitch(const std::wstring& argument);

// args[0] is the program path. Fewer than two arguments or a daemon switch: daemon.
[[nodiscard]] ProcessRole SelectRole(const std::vector<std::wstring>& args);

// Applies child arguments 1..6 over the defaults; argument 2 goes through the symbol
// mapping, the default symbol does not.
[[nodiscard]] LaunchValues ParseChildLaunchValues(const std::vector<std::wstring>& args);
