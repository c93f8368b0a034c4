#pragma once
// What a child does with the text of its navigation request, decided without the OS.
#include <cstdint>
#include <string>
#include <vector>

struct NavigationDecision {
  bool newSymbol = false;  // false: the request is dropped, the page stays where it is
  std::wstring symbol;     // the page symbol the request maps to
  std::string url;         // the chart page for that symbol, interval and theme
};

// The part after the first colon, or the whole symbol.
[[nodiscard]] std::wstring TickerOf(const std::wstring& symbol);

// A navigation request moves the page only to a different, non-empty ticker (letter case
// ignored), so the same instrument on another exchange does not reload the chart.
[[nodiscard]] bool IsNewTicker(const std::wstring& currentSymbol, const std::wstring& mappedSymbol);

// Trims blanks, tabs, carriage returns and line feeds at both ends.
[[nodiscard]] std::wstring TrimRequestText(const std::wstring& text);

// The request text is trimmed and mapped to the page's symbol; only a different ticker
// (IsNewTicker) moves the page.
[[nodiscard]] NavigationDecision DecideNavigation(const std::wstring& requestText,
                                                  const std::wstring& currentSymbol,
                                                  const std::wstring& interval,
                                                  const std::wstring& theme);

// Makes sure the page ends on the last chart page the host asked for. Two navigations asked
// for in quick succession can end on the older one: one that had its response already
// commits and takes the newer one down with it. The page is then on an address the host
// asked for and moved on from; only that is repaired. An address the host never asked for
// (the site's own redirect, the trader's own symbol change on the page) is left alone.
class NavigationFollowUp {
 public:
  // Waited after the last navigation before the page's address is judged: a slow page
  // still shows the previous address until its response arrives.
  static constexpr std::uint64_t kSettleMs = 3000;
  static constexpr int kMostRetries = 3;

  void Navigated(const std::string& url, std::uint64_t nowMs);
  struct Repair {
    std::string url;      // navigate here again; empty: nothing to do
    bool gaveUp = false;  // the retries are spent and the page stays where it is
  };
  [[nodiscard]] bool Pending() const { return !superseded_.empty(); }
  // source is the page's current address.
  [[nodiscard]] Repair Check(const std::string& source, std::uint64_t nowMs);

 private:
  std::string wanted_;
  std::vector<std::string> superseded_;
  std::uint64_t since_ = 0;
  int retries_ = 0;
};
