#pragma once
// The debug log: one bounded line per entry in %APPDATA%\Quorvale_Workspace_Debug.log,
// shared by every process of the workspace. The entry text is built here in pure code so
// it can be tested; the file itself is written by the glue.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// Appends "[asctime stamp] message" to %APPDATA%\Quorvale_Workspace_Debug.log. Never fails
// towards the caller: any error drops the entry.
void LogDebug(const std::string& message) noexcept;

// The 24-character asctime form without its line feed: "Sun Sep  6 01:03:52 1973".
// Out-of-range fields are clamped so a damaged time never reads outside the name tables.
[[nodiscard]] std::string FormatAsctimeStamp(const std::tm& time);

// Longest message text an entry keeps; a longer one is cut and marked " [cut]".
inline constexpr std::size_t kMaxLogMessageBytes = 4096;

// "[" + stamp + "] " + message + "\n", control characters of the message shown as '?' and
// the message cut to kMaxLogMessageBytes; the log file's text mode turns "\n" into CRLF.
[[nodiscard]] std::string FormatLogEntry(const std::string& stamp, const std::string& message);

// "FATAL CRASH / EXCEPTION: Code=0x%08X Address=%p" with the pointer written the way the
// Windows C library prints it on 64-bit: sixteen upper-case hexadecimal digits.
[[nodiscard]] std::string FormatCrashLine(std::uint32_t code, std::uint64_t address);
