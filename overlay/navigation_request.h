#pragma once
// What a child does with the text of its navigation request, decided without the OS.
#include <string>

struct NavigationDecision {
  bool newSymbol = false;  // false: the request is dropped, the page stays where it is
  std::wstring symbol;     // the page symbol the request maps to
  std::string url;         // the chart page for that symbol, interval and theme
};

// The request text is trimmed and mapped to the page's symbol; only a different ticker
// (IsNewTicker) moves the page.
[[nodiscard]] NavigationDecision DecideNavigation(const std::wstring& requestText,
                                                  const std::wstring& currentSymbol,
                                                  const std::wstring& interval,
                                                  const std::wstring& theme);
