#pragma once
// Which web messages the host acts on. A message counts only when it comes from one of the
// workspace's own documents (the chart site's pages or the studio page on the data host)
// and carries the secret the host gave the HUD's document script, so neither another
// origin the view reached nor the chart site's own scripts can drive the host.
#include <string>

// The chart site's origin, the only origin of chart documents the host trusts.
inline constexpr const char* kChartSiteOrigin = "https://www.tradingview.com";
// Stands in the HUD script for the secret until the host builds the document script.
inline constexpr const char* kPageSecretPlaceholder = "__QV_PAGE_SECRET__";

// "scheme://host[:port]" of an absolute http(s) URL, lower-cased; empty for anything else.
[[nodiscard]] std::string UrlOrigin(const std::string& url);

// True when the posting document is a chart-site page or the studio page.
[[nodiscard]] bool IsTrustedMessageSource(const std::string& sourceUrl);

// A signed message is "<secret>:<message>". Returns true and the message when the secret
// matches (compared in constant time); an empty secret never matches.
[[nodiscard]] bool TakeSignedMessage(const std::string& text, const std::string& secret,
                                     std::string* message);

// The HUD document script with its secret in place of the placeholder (first occurrence).
[[nodiscard]] std::string WithPageSecret(const std::string& hudScript, const std::string& secret);
