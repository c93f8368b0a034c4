#include "overlay/message_source.h"

#include "host/ascii_text.h"
#include "overlay/page_scripts.h"

std::string UrlOrigin(const std::string& url) {
  const std::string lower = AsciiLowered(url);
  std::size_t start = 0;
  if (lower.rfind("https://", 0) == 0) {
    start = 8;
  } else if (lower.rfind("http://", 0) == 0) {
    start = 7;
  } else {
    return std::string();
  }
  const std::size_t end = lower.find_first_of("/?#", start);
  const std::string authority = lower.substr(start, end == std::string::npos ? end : end - start);
  // User information would let "https://www.tradingview.com@evil.test" pass for the site.
  if (authority.empty() || authority.find('@') != std::string::npos ||
      authority.find('\\') != std::string::npos) {
    return std::string();
  }
  return lower.substr(0, start) + authority;
}

bool IsTrustedMessageSource(const std::string& sourceUrl) {
  const std::string origin = UrlOrigin(sourceUrl);
  if (origin.empty()) return false;
  if (origin == kChartSiteOrigin) return true;
  const std::string studio = VirtualDataUrl("headless.html");
  if (origin != UrlOrigin(studio)) return false;
  // On the data host only the studio page is a document of ours (query and fragment aside).
  const std::string rest = sourceUrl.substr(origin.size());
  const std::size_t cut = rest.find_first_of("?#");
  return AsciiLowered(rest.substr(0, cut)) == "/headless.html";
}
