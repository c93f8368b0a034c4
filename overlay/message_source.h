#pragma once
// Which documents are the workspace's own: the chart site's pages and the studio page on the
// data host. The HUD's channel takes messages only from the HUD's world of such a document
// (overlay/hud_channel.h).
#include <string>

// The chart site's origin, the only origin of chart documents the host trusts.
inline constexpr const char* kChartSiteOrigin = "https://www.tradingview.com";

// "scheme://host[:port]" of an absolute http(s) URL, lower-cased; empty for anything else.
[[nodiscard]] std::string UrlOrigin(const std::string& url);

// True when the document at this URL is a chart-site page or the studio page.
[[nodiscard]] bool IsTrustedMessageSource(const std::string& sourceUrl);
