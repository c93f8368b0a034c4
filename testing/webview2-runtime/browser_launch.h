#pragma once
// Finding and starting the one Chromium that serves a user-data folder: its
// DevToolsActivePort file, its command line, and the name that serialises the start.
#include <string>
#include <string_view>
#include <vector>

struct DevToolsEndpoint {
  int port = 0;
  std::string path;  // "/devtools/browser/<uuid>"
};

// The file is written while Chromium starts: only a port line that ends in a line break,
// followed by the browser path, counts as complete.
[[nodiscard]] bool ParseDevToolsActivePort(std::string_view content, DevToolsEndpoint* out);

// Chromium's arguments for a user-data folder given as a Unix path. extraArguments are
// appended (already split).
[[nodiscard]] std::vector<std::wstring> ChromiumArguments(
    const std::wstring& unixUserDataFolder, bool headful,
    const std::vector<std::wstring>& extraArguments);

// Splits "--a --b=\"x y\"" like a Windows command line (quotes group, are removed).
[[nodiscard]] std::vector<std::wstring> SplitArguments(std::wstring_view text);

// A Windows command line whose parsing (CommandLineToArgvW rules) gives back exactly
// program and arguments, whatever spaces, quotes or trailing backslashes they hold.
[[nodiscard]] std::wstring BuildCommandLine(const std::wstring& program,
                                            const std::vector<std::wstring>& arguments);

// Name of the mutex that serialises "connect or start" for a folder, the same for every
// spelling of it that differs in letter case, separator or trailing separator.
[[nodiscard]] std::wstring BrowserMutexName(std::wstring_view userDataFolder);
