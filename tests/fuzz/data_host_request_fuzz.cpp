// Requests for the data host from page content: whatever a page sends, only a listed file of
// the bridge folder itself is served, only to the chart site or the data host's own
// documents, and CORS is never answered to anyone but the chart site.
#include "fuzz_support.h"
#include "overlay/data_host_request.h"

namespace {

constexpr const char* kChart = "https://www.tradingview.com";
constexpr const char* kData = "https://quorvale-data.example";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // method \n path \n origin \n Sec-Fetch-Site \n Sec-Fetch-Mode \n Sec-Fetch-Dest \n context
  // (0 unknown, 1 document, 2 read, 3 image, 4 other)
  const std::vector<std::string> parts = fuzz::Split(fuzz::Bytes(data, size), '\n');
  auto part = [&](std::size_t i) { return i < parts.size() ? parts[i] : std::string(); };
  DataHostRequest request;
  request.method = part(0);
  request.url = std::string(kData) + part(1);
  request.origin = part(2);
  request.secFetchSite = part(3);
  request.secFetchMode = part(4);
  request.secFetchDest = part(5);
  const std::string context = part(6);
  request.context = context == "1"   ? DataHostContext::kDocument
                    : context == "2" ? DataHostContext::kRead
                    : context == "3" ? DataHostContext::kImage
                    : context == "4" ? DataHostContext::kOther
                                     : DataHostContext::kUnknown;
  const DataHostAnswer answer = DecideDataHostRequest(request, kChart, kData);
  FUZZ_CHECK(answer.allowOrigin.empty() || answer.allowOrigin == kChart);
  const std::string headers = DataHostResponseHeaders(answer, answer.verdict);
  FUZZ_CHECK(headers.find("Cache-Control: no-store") != std::string::npos);
  FUZZ_CHECK(headers.find('*') == std::string::npos);
  if (answer.verdict == DataHostVerdict::Serve || answer.verdict == DataHostVerdict::Preflight) {
    // Origins compare ignoring ASCII case (browsers send them lower-case).
    std::string origin = request.origin;
    for (char& c : origin) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    FUZZ_CHECK(origin.empty() || origin == kChart || origin == kData);
    FUZZ_CHECK(request.method == "GET" || request.method == "HEAD" || request.method.empty() ||
               request.method == "OPTIONS");
  }
  if (answer.verdict == DataHostVerdict::Serve) {
    FUZZ_CHECK(!answer.contentType.empty());
    if (answer.studioPage) {
      FUZZ_CHECK(answer.fileName.empty());
    } else {
      FUZZ_CHECK(request.context != DataHostContext::kDocument);
      // Bridge files only to reads; the icon to any load but a document.
      FUZZ_CHECK(answer.fileName == "quorvale.ico" || request.context == DataHostContext::kRead ||
                 request.context == DataHostContext::kUnknown);
      FUZZ_CHECK(answer.maxBytes > 0 && answer.maxBytes <= 16u * 1024 * 1024);
      const std::string& name = answer.fileName;
      FUZZ_CHECK(name.rfind("QV_", 0) == 0 || name == "quorvale.ico");
      FUZZ_CHECK(name.find_first_of("/\\%:") == std::string::npos);
      FUZZ_CHECK(name.find("..") == std::string::npos);
      for (unsigned char c : name) FUZZ_CHECK(c > 0x20 && c != 0x7F);
      // Only the files the pages read: never an order, a result, a request or the bot's
      // configuration (an instrument of a claim file may well spell "Order").
      const bool fixed = name == "QV_OpenPositions.json" || name == "QV_AICopilotData.json" ||
                         name == "QV_COTData.json" || name == "QV_AIConfig.json" ||
                         name == "QV_AICopilotChart.png" || name == "quorvale.ico";
      const auto starts = [&](const char* p) { return name.rfind(p, 0) == 0; };
      FUZZ_CHECK(fixed || starts("QV_AICopilotData_") || starts("QV_AICopilotChart_") ||
                 starts("QV_ATClaim_"));
    }
  }
  return 0;
}
