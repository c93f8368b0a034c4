// Terminal symbols: the daemon maps a symbol and the child maps the value it is given
// again, so mapping must be idempotent; the result is never empty and is trimmed.
#include "fuzz_support.h"
#include "overlay/symbol_mapping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring symbol = fuzz::Wide16(fuzz::Bytes(data, size));
  const std::wstring mapped = MapToTradingViewSymbol(symbol);
  FUZZ_CHECK(!mapped.empty());
  for (wchar_t edge : {mapped.front(), mapped.back()})
    FUZZ_CHECK(edge != L' ' && edge != L'\t' && edge != L'\r' && edge != L'\n');
  FUZZ_CHECK(MapToTradingViewSymbol(mapped) == mapped);
  return 0;
}
