#include "overlay/navigation_request.h"

#include "bridge/text_encoding.h"
#include "overlay/page_scripts.h"
#include "overlay/symbol_mapping.h"
#include "overlay/window_layout.h"

NavigationDecision DecideNavigation(const std::wstring& requestText,
                                    const std::wstring& currentSymbol, const std::wstring& interval,
                                    const std::wstring& theme) {
  NavigationDecision decision;
  const std::wstring text = TrimRequestText(requestText);
  if (text.empty()) return decision;
  decision.symbol = MapToTradingViewSymbol(text);
  if (!IsNewTicker(currentSymbol, decision.symbol)) return decision;
  decision.newSymbol = true;
  decision.url =
      BuildChartPageUrl(EncodeUtf8(decision.symbol), EncodeUtf8(interval), EncodeUtf8(theme));
  return decision;
}
