#pragma once
// The symbol a process shows. The window thread replaces it (symbol sync, navigation
// requests) while the Telegram worker reads it for /status, so both go through here.
#include <string>

// The symbol launch value until SetHostSymbol is first called.
[[nodiscard]] std::wstring CurrentHostSymbol();
void SetHostSymbol(const std::wstring& symbol);
