// A child's navigation request. Input: the current host symbol, a line feed, the request
// file's bytes (decoded as the host reads them). The page moves only to a different ticker,
// and the chart page it opens is on the chart site and carries the new symbol whole.
#include "bridge/text_encoding.h"
#include "fuzz_support.h"
#include "overlay/navigation_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzz::Bytes(data, size);
  const std::size_t cut = input.find('\n');
  const std::string file = cut == std::string::npos ? input : input.substr(cut + 1);
  const std::wstring current =
      cut == std::string::npos
          ? L"NASDAQ:NDX"
          : DecodeUtf8(reinterpret_cast<const unsigned char*>(input.data()), cut);
  const std::wstring request =
      DecodeTextFileBytes(reinterpret_cast<const unsigned char*>(file.data()), file.size());

  const NavigationDecision decision = DecideNavigation(request, current, L"60", L"dark");
  if (!decision.newSymbol) return 0;
  // The address is the chart site's with exactly its three values, the symbol whole.
  constexpr char kStart[] = "https://www.tradingview.com/chart/?symbol=";
  FUZZ_CHECK(decision.url.rfind(kStart, 0) == 0);
  for (unsigned char c : decision.url) FUZZ_CHECK(c > 0x20 && c < 0x7F && c != '#' && c != '+');
  const std::vector<std::string> values = fuzz::Split(decision.url.substr(sizeof kStart - 1), '&');
  FUZZ_CHECK(values.size() == 3 && values[1] == "interval=60" && values[2] == "theme=dark");
  std::string symbol;
  for (std::size_t i = 0; i < values[0].size(); ++i) {
    if (values[0][i] == '%' && i + 2 < values[0].size()) {
      symbol.push_back(static_cast<char>(std::stoi(values[0].substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      symbol.push_back(values[0][i]);
    }
  }
  FUZZ_CHECK(symbol == EncodeUtf8(decision.symbol));
  // The same request again, now that the page shows its symbol, moves nothing.
  FUZZ_CHECK(!DecideNavigation(request, decision.symbol, L"60", L"dark").newSymbol);
  return 0;
}
