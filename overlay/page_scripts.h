#pragma once
// The page addresses, documents and small scripts the overlay host hands to the WebView.
// Text from bridge files reaches the page only as JSON string literals that the page
// parses itself, so whoever writes those files cannot run code in the trader's page.
#include <cstdint>
#include <string>

#include "host/string_literal.h"

// Host name mapped to the bridge folder; the HUD reads bridge files from it.
inline constexpr const char* kVirtualDataHost = "quorvale-data.example";

// https://www.tradingview.com/chart/?symbol=<s>&interval=<i>&theme=<t>; each value is
// percent-encoded except letters, digits and - . _ ~ : !
[[nodiscard]] std::string BuildChartPageUrl(const std::string& symbol, const std::string& interval,
                                            const std::string& theme);

// https://<virtual data host>/<file>
[[nodiscard]] std::string VirtualDataUrl(const std::string& fileName);

[[nodiscard]] std::string BuildBeforeUnloadNeutraliser();

// Tells the page its chart's handle (window.__qv_chart_hwnd, a decimal string, "0" in the
// studio) as a document script: it is there before the page's own scripts run and again at
// every load, so the HUD reads its own chart's snapshot QV_AICopilotData_<hwnd>.json and
// picture QV_AICopilotChart_<hwnd>.png from its first tick, also after a reload.
[[nodiscard]] std::string BuildChartIdentityScript(std::uint64_t chartHandle);

// Copies the five provider keys from QV_AIConfig.json's text into the page's key vault
// where the vault has none; never overwrites a stored key.
[[nodiscard]] std::string BuildKeySeedingScript(const std::string& configText);

// Pushes QV_OpenPositions.json's text into the PnL badge and window.__qv_market_meta.
[[nodiscard]] std::string BuildPositionsPushScript(const std::string& positionsText);

[[nodiscard]] std::string BuildEvaluationCallScript();

// The studio page document written to headless.html.
[[nodiscard]] std::string BuildStudioPageHtml();
