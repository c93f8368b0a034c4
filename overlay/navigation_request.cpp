#include "overlay/navigation_request.h"

#include "bridge/text_encoding.h"
#include "host/ascii_text.h"
#include "overlay/page_scripts.h"
#include "overlay/symbol_mapping.h"

std::wstring TickerOf(const std::wstring& symbol) {
  const std::size_t colon = symbol.find(L':');
  return colon == std::wstring::npos ? symbol : symbol.substr(colon + 1);
}

bool IsNewTicker(const std::wstring& currentSymbol, const std::wstring& mappedSymbol) {
  const std::wstring next = TickerOf(mappedSymbol);
  if (next.empty()) return false;
  const std::wstring current = TickerOf(currentSymbol);
  return !EqualsNoCase(std::wstring_view(next), std::wstring_view(current));
}

std::wstring TrimRequestText(const std::wstring& text) {
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
  std::size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

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

void NavigationFollowUp::Navigated(const std::string& url, std::uint64_t nowMs) {
  if (url == wanted_) {
    // The repair of the same address: the earlier ones stay known as superseded.
    since_ = nowMs;
    return;
  }
  if (!wanted_.empty()) superseded_.push_back(wanted_);
  // A long series of symbol changes only needs its recent addresses remembered.
  if (superseded_.size() > 16) superseded_.erase(superseded_.begin());
  wanted_ = url;
  since_ = nowMs;
  retries_ = 0;
}

NavigationFollowUp::Repair NavigationFollowUp::Check(const std::string& source,
                                                     std::uint64_t nowMs) {
  if (wanted_.empty() || superseded_.empty()) return {};
  if (source == wanted_) {
    superseded_.clear();
    return {};
  }
  if (nowMs - since_ < kSettleMs) return {};
  bool older = false;
  for (const std::string& url : superseded_) older = older || url == source;
  // Anywhere else the page has moved on by itself (a redirect, the trader's own change):
  // the earlier requests no longer matter.
  if (!older) {
    superseded_.clear();
    return {};
  }
  if (retries_ >= kMostRetries) {
    superseded_.clear();
    return {{}, true};
  }
  ++retries_;
  since_ = nowMs;
  return {wanted_, false};
}
