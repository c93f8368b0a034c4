#include "overlay/symbol_mapping.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const wchar_t* input;
  const wchar_t* expected;
};

TEST(SymbolMapping, BlankInputFallsBackToNasdaq) {
  for (const wchar_t* blank : {L"", L"   ", L"\t\r\n", L" \n "}) {
    EXPECT_EQ(MapToTradingViewSymbol(blank), L"NASDAQ:NDX") << blank;
  }
}

TEST(SymbolMapping, FxTableUsesSubstringsForEnergyInTableOrder) {
  const Case cases[] = {
      {L"FX:XTIUSD", L"TVC:USOIL"},    {L"FX:BRENTOIL", L"TVC:USOIL"},  // OIL before BRENT
      {L"FX:WTI_X", L"TVC:USOIL"},     {L"FX:XCLZ", L"TVC:USOIL"},
      {L"FX:CRUDEX", L"TVC:USOIL"},    {L"FX:XBRUSD", L"TVC:UKOIL"},
      {L"FX:BRENT", L"TVC:UKOIL"},     {L"FX:UKBRN", L"TVC:UKOIL"},
      {L"FX:XNGUSD", L"TVC:USNGAS"},   {L"FX:NGAS1", L"TVC:USNGAS"},
      {L"FX:NATGASX", L"TVC:USNGAS"},  {L"FX:GOLD", L"OANDA:XAUUSD"},
      {L"FX:XAG", L"OANDA:XAGUSD"},    {L"FX:BITCOIN", L"COINBASE:BTCUSD"},
      {L"FX:ETH", L"COINBASE:ETHUSD"}, {L"FX:SOL", L"COINBASE:SOLUSD"},
      {L"FX:XRP", L"BITSTAMP:XRPUSD"}, {L"FX:NAS100", L"NASDAQ:NDX"},
      {L"FX:DOW", L"TVC:DJI"},         {L"fx:sp500", L"SP:SPX"},
  };
  for (const Case& c : cases) EXPECT_EQ(MapToTradingViewSymbol(c.input), c.expected) << c.input;
}

TEST(SymbolMapping, PlainTableIsEqualityOnly) {
  const Case cases[] = {
      {L"WTIUSD", L"TVC:USOIL"},
      {L"LIGHT", L"TVC:USOIL"},
      {L"UKOIL", L"TVC:UKOIL"},
      {L"BRENTUSD", L"TVC:UKOIL"},
      {L"GAS", L"TVC:USNGAS"},
      {L"gold", L"OANDA:XAUUSD"},
      {L"XAGUSD", L"OANDA:XAGUSD"},
      {L"USTEC", L"NASDAQ:NDX"},
      {L"NQ100", L"NASDAQ:NDX"},
      {L"DJ30", L"TVC:DJI"},
      {L"SPX500", L"SP:SPX"},
      {L"BTCUSDT", L"COINBASE:BTCUSD"},
      {L"ETHUSDT", L"COINBASE:ETHUSD"},
      {L" xauusd\r\n", L"OANDA:XAUUSD"},  // trimmed, then compared upper-cased
  };
  for (const Case& c : cases) EXPECT_EQ(MapToTradingViewSymbol(c.input), c.expected) << c.input;
}

TEST(SymbolMapping, UnknownSymbolsPassThroughTrimmedWithCaseKept) {
  const Case cases[] = {
      {L"FX:EURUSD", L"FX:EURUSD"},
      {L"eurusd", L"eurusd"},
      {L"XAUUSD.m", L"XAUUSD.m"},
      {L"SOLUSD", L"SOLUSD"},
      {L"XRP", L"XRP"},
      {L"FX:", L"FX:"},
      {L"  BRENTOIL ", L"BRENTOIL"},
      {L"\xE9t\xE9", L"\xE9t\xE9"},
  };
  for (const Case& c : cases) EXPECT_EQ(MapToTradingViewSymbol(c.input), c.expected) << c.input;
}

}  // namespace
