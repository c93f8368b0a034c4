#include "overlay/symbol_mapping.h"

#include <initializer_list>

namespace {

enum class Test { kEquals, kContains };

struct Rule {
  Test test;
  std::initializer_list<const wchar_t*> words;
  const wchar_t* result;
};

// Applied to the rest after "FX:"; first rule that holds wins. The energy names use
// substring tests, so "BRENTOIL" lands on the "OIL" rule before the "BRENT" one.
const Rule kFxRules[] = {
    {Test::kEquals, {L"XTIUSD"}, L"TVC:USOIL"},
    {Test::kContains, {L"OIL"}, L"TVC:USOIL"},
    {Test::kContains, {L"WTI"}, L"TVC:USOIL"},
    {Test::kContains, {L"CL"}, L"TVC:USOIL"},
    {Test::kContains, {L"CRUDE"}, L"TVC:USOIL"},
    {Test::kEquals, {L"XBRUSD"}, L"TVC:UKOIL"},
    {Test::kContains, {L"BRENT"}, L"TVC:UKOIL"},
    {Test::kContains, {L"BRN"}, L"TVC:UKOIL"},
    {Test::kEquals, {L"XNGUSD"}, L"TVC:USNGAS"},
    {Test::kContains, {L"NGAS"}, L"TVC:USNGAS"},
    {Test::kContains, {L"NATGAS"}, L"TVC:USNGAS"},
    {Test::kEquals, {L"XAUUSD", L"GOLD", L"XAU"}, L"OANDA:XAUUSD"},
    {Test::kEquals, {L"XAGUSD", L"SILVER", L"XAG"}, L"OANDA:XAGUSD"},
    {Test::kEquals, {L"BTCUSD", L"BITCOIN", L"BTC"}, L"COINBASE:BTCUSD"},
    {Test::kEquals, {L"ETHUSD", L"ETHEREUM", L"ETH"}, L"COINBASE:ETHUSD"},
    {Test::kEquals, {L"SOLUSD", L"SOL"}, L"COINBASE:SOLUSD"},
    {Test::kEquals, {L"XRPUSD", L"XRP"}, L"BITSTAMP:XRPUSD"},
    {Test::kEquals, {L"US100", L"NAS100", L"NDX"}, L"NASDAQ:NDX"},
    {Test::kEquals, {L"US30", L"DJI", L"WS30", L"DOW"}, L"TVC:DJI"},
    {Test::kEquals, {L"US500", L"SPX", L"SP500"}, L"SP:SPX"},
};

// Applied to the whole upper-cased text; equality only.
const Rule kPlainRules[] = {
    {Test::kEquals,
     {L"XTIUSD", L"WTI", L"CL", L"USOIL", L"CRUDE", L"OIL", L"LIGHT", L"WTIUSD"},
     L"TVC:USOIL"},
    {Test::kEquals, {L"XBRUSD", L"BRENT", L"BRN", L"UKOIL", L"BRENTUSD"}, L"TVC:UKOIL"},
    {Test::kEquals, {L"XNGUSD", L"NGAS", L"NATGAS", L"GAS"}, L"TVC:USNGAS"},
    {Test::kEquals, {L"XAUUSD", L"GOLD", L"XAU"}, L"OANDA:XAUUSD"},
    {Test::kEquals, {L"XAGUSD", L"SILVER", L"XAG"}, L"OANDA:XAGUSD"},
    {Test::kEquals, {L"US100", L"NAS100", L"NDX", L"USTEC", L"NQ100"}, L"NASDAQ:NDX"},
    {Test::kEquals, {L"US30", L"DJI", L"WS30", L"DOW", L"DJ30"}, L"TVC:DJI"},
    {Test::kEquals, {L"US500", L"SPX", L"SP500", L"SPX500"}, L"SP:SPX"},
    {Test::kEquals, {L"BTCUSD", L"BITCOIN", L"BTC", L"BTCUSDT"}, L"COINBASE:BTCUSD"},
    {Test::kEquals, {L"ETHUSD", L"ETHEREUM", L"ETH", L"ETHUSDT"}, L"COINBASE:ETHUSD"},
};

bool IsTrimmed(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool Holds(const Rule& rule, const std::wstring& text) {
  for (const wchar_t* word : rule.words) {
    if (rule.test == Test::kEquals ? text == word : text.find(word) != std::wstring::npos) {
      return true;
    }
  }
  return false;
}

template <std::size_t N>
const wchar_t* FirstMatch(const Rule (&rules)[N], const std::wstring& text) {
  for (const Rule& rule : rules) {
    if (Holds(rule, text)) return rule.result;
  }
  return nullptr;
}

}  // namespace

std::wstring MapToTradingViewSymbol(const std::wstring& terminalSymbol) {
  std::size_t begin = 0;
  std::size_t end = terminalSymbol.size();
  while (begin < end && IsTrimmed(terminalSymbol[begin])) ++begin;
  while (end > begin && IsTrimmed(terminalSymbol[end - 1])) --end;
  if (begin == end) return L"NASDAQ:NDX";
  const std::wstring trimmed = terminalSymbol.substr(begin, end - begin);

  // Broker symbols are ASCII; other characters keep their case and simply match nothing.
  std::wstring upper = trimmed;
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }

  if (upper.compare(0, 3, L"FX:") == 0) {
    if (const wchar_t* result = FirstMatch(kFxRules, upper.substr(3))) return result;
  }
  if (const wchar_t* result = FirstMatch(kPlainRules, upper)) return result;
  return trimmed;
}
