#pragma once
#include <string>

// Turns a broker's terminal symbol into the exchange-qualified symbol the chart page needs.
// Pure, no state, never fails; unknown symbols pass through trimmed with their case kept.
[[nodiscard]] std::wstring MapToTradingViewSymbol(const std::wstring& terminalSymbol);
