#pragma once
// The ASCII rules of the bridge's texts: file names and URLs compared without letter case
// (the file system and URL schemes ignore it), and unsigned decimal numbers.
#include <cstdint>
#include <string>
#include <string_view>

// A-Z to a-z; every other unit, non-ASCII included, unchanged.
[[nodiscard]] char AsciiLower(char c);
[[nodiscard]] wchar_t AsciiLower(wchar_t c);
[[nodiscard]] std::string AsciiLowered(std::string text);
[[nodiscard]] std::wstring AsciiLowered(std::wstring text);

// Equal but for the case of ASCII letters.
[[nodiscard]] bool EqualsNoCase(std::string_view a, std::string_view b);
[[nodiscard]] bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// name is prefix + anything + suffix, letters compared without case.
[[nodiscard]] bool StartsAndEndsWithNoCase(std::wstring_view name, std::wstring_view prefix,
                                           std::wstring_view suffix);

// One or more digits 0-9 and nothing else, whose value fits 64 bits. Overflow fails: a
// garbled id or handle must never come out as some other one.
[[nodiscard]] bool ParseDecimal(std::string_view text, std::uint64_t* value);
// The characters 0 to 9 of text, in order, leading zeros included.
[[nodiscard]] std::string DigitsOf(std::string_view text);
