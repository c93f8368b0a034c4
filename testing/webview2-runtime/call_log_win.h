#pragma once
// The call record: with QV_WEBVIEW2_CALL_LOG naming a file, one UTF-8 line per call the
// runtime receives, so tests can assert what the host asked for.
#include <windows.h>

#include <string>
#include <string_view>

void RecordCall(std::string_view line);

// One argument of a record line: line breaks written as \n and \r so a call stays one line.
[[nodiscard]] std::string CallArg(LPCWSTR text);
[[nodiscard]] std::string CallArg(std::string_view utf8);
