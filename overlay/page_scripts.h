#pragma once
// The page addresses, documents and small scripts the overlay host hands to the WebView.
// Bridge text never becomes a script: it reaches the HUD as JSON pushes
// (overlay/hud_channel.h).
#include <string>

#include "host/json.h"

// Host name mapped to the bridge folder; the HUD reads bridge files from it.
inline constexpr const char* kVirtualDataHost = "quorvale-data.example";

// https://www.tradingview.com/chart/?symbol=<s>&interval=<i>&theme=<t>; each value is
// percent-encoded except letters, digits and - . _ ~ : !
[[nodiscard]] std::string BuildChartPageUrl(const std::string& symbol, const std::string& interval,
                                            const std::string& theme);

// https://<virtual data host>/<file>
[[nodiscard]] std::string VirtualDataUrl(const std::string& fileName);

[[nodiscard]] std::string BuildBeforeUnloadNeutraliser();

// What the evaluation push asks of the HUD.
inline constexpr const char* kEvaluationReason =
    "Immediate on-demand user analysis: Evaluate active chart structure and formulate setup.";

// The studio page document written to headless.html.
[[nodiscard]] std::string BuildStudioPageHtml();
