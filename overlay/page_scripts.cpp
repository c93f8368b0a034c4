#include "overlay/page_scripts.h"

#include "overlay/message_source.h"

namespace {

// A broker's symbol may hold '#', '&', '+' or a blank ("US30#", "#AAPL"): unencoded, the
// page would read a cut symbol (or none) from the address. The colon stays as it is, since
// the chart page expects "OANDA:XAUUSD"; '!' stays for continuous futures ("ES1!").
std::string QueryValue(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                       b == '-' || b == '.' || b == '_' || b == '~' || b == ':' || b == '!';
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

}  // namespace

std::string BuildChartPageUrl(const std::string& symbol, const std::string& interval,
                              const std::string& theme) {
  return "https://www.tradingview.com/chart/?symbol=" + QueryValue(symbol) +
         "&interval=" + QueryValue(interval) + "&theme=" + QueryValue(theme);
}

std::string VirtualDataUrl(const std::string& fileName) {
  return std::string("https://") + kVirtualDataHost + "/" + fileName;
}

namespace {

std::string OwnDocumentCondition() {
  // Document scripts run in every frame and every document the view reaches; this runs
  // before the page's own scripts, so window.top and location are still the real ones.
  return std::string("window === window.top && (location.origin === ") +
         JsonQuote(kChartSiteOrigin) +
         " || location.href.split(/[?#]/)[0] === " + JsonQuote(VirtualDataUrl("headless.html")) +
         ")";
}

}  // namespace

std::string BuildBeforeUnloadNeutraliser() {
  // The chart page asks "leave site?" on navigation; a child navigating to a new symbol
  // must never hang on that dialog.
  return "try { if (" + OwnDocumentCondition() +
         ") {"
         " window.onbeforeunload = null;"
         " window.addEventListener('beforeunload', function (e) { e.stopImmediatePropagation(); }, "
         "true);"
         " Object.defineProperty(window, 'onbeforeunload', {"
         " get: function () { return null; }, set: function () {}, configurable: true });"
         "} } catch (e) {}";
}

std::string BuildStudioPageHtml() {
  return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
         "<title>Quorvale AI Copilot Studio \xE2\x80\x94 Institutional Sentinel</title>\n"
         "<link rel=\"icon\" type=\"image/x-icon\" href=\"" +
         VirtualDataUrl("quorvale.ico") +
         "\">\n"
         "<style>html, body { width: 100%; height: 100%; margin: 0; padding: 0; overflow: hidden;"
         " background: #0b0e17; color: #e0e3eb;"
         " font-family: -apple-system, BlinkMacSystemFont, 'Segoe UI', Roboto, sans-serif; "
         "}</style>\n"
         "</head>\n<body class=\"qv-studio-page\"></body>\n</html>\n";
}
