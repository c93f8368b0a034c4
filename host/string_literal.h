#pragma once
#include <string>

// A JavaScript string literal (double-quoted) holding the UTF-8 text exactly.
// The same text is a valid JSON string, so JSON bodies built by hand use it too.
[[nodiscard]] std::string JsStringLiteral(const std::string& utf8);
