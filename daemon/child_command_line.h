#pragma once
// The command line a child is started with: the quoted program path, then handle digits,
// mapped symbol, interval, theme, user id and mode, each after one blank.
#include <optional>
#include <string>
#include <vector>

// One argument as the child's CommandLineToArgvW will read it back. Plain values (no
// blank, tab, double quote or control character, not empty) are returned unchanged, so the
// ordinary command line stays exactly what the terminal companion has always seen; any
// other value is wrapped in double quotes with its quotes and the backslashes before them
// escaped, so it stays one argument with its exact text.
[[nodiscard]] std::wstring QuoteChildArgument(const std::wstring& value);

// Empty when a value holds a NUL character: the command line would end there and the child
// would silently fall back to defaults for everything after it.
[[nodiscard]] std::optional<std::wstring> BuildChildCommandLine(
    const std::wstring& programPath, const std::vector<std::wstring>& values);
