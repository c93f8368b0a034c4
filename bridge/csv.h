#pragma once
// One-line comma-separated records, as the terminal companion reads the trade-signal slot,
// the order record and the symbol sync record: no quoting, a comma always separates.
#include <string>
#include <string_view>
#include <vector>

// Every comma separates: n commas give n + 1 fields, an empty text one empty field.
[[nodiscard]] std::vector<std::string_view> SplitCsvFields(std::string_view line);

// The fields joined by commas; nothing is quoted, so a field must carry no comma of its own.
[[nodiscard]] std::string JoinCsvFields(const std::vector<std::string_view>& fields);
