#pragma once
// Virtual host names served from folders: which request belongs to which mapping, the
// file it names, and the response headers. Requests come from page content, so every path
// that could leave the mapped folder is refused.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct RequestUrl {
  std::string scheme;  // lower case
  std::string host;    // lower case, without port
  std::string path;    // raw (still percent-encoded), starts with '/'
};

// Splits an http(s) URL; query and fragment are dropped. False for anything else.
[[nodiscard]] bool ParseRequestUrl(std::string_view url, RequestUrl* out);

// Decodes %XX escapes; false on a malformed escape.
[[nodiscard]] bool PercentDecode(std::string_view text, std::string* out);

// The file a request path names inside the mapped folder, with '\' separators and UTF-8
// text, or nothing when the path must be refused: malformed escapes, "..", drive letters,
// backslashes, characters Windows file names cannot hold, or segments of dots and spaces
// (which Windows would fold into ".."). A path ending in '/' names its index.html.
[[nodiscard]] std::optional<std::string> MappedFilePath(std::string_view rawPath);

// Content-Type by the file's extension (text types in UTF-8), octet-stream when unknown.
[[nodiscard]] std::string ContentTypeForPath(std::string_view path);

// The Fetch.fulfillRequest responseHeaders array (JSON) for a served or refused file.
// allowAnyOrigin adds Access-Control-Allow-Origin: * so pages of other origins can read it.
[[nodiscard]] std::string ResponseHeadersJson(std::string_view contentType, bool allowAnyOrigin);

// "host1=C:\folder1;host2=C:\folder2" (the test-only extra mapping). Entries without a host
// or folder are skipped; hosts are lower-cased.
[[nodiscard]] std::vector<std::pair<std::wstring, std::wstring>> ParseExtraHosts(
    std::wstring_view text);

// Lower-case ASCII copy, for host comparison.
[[nodiscard]] std::string AsciiLower(std::string_view text);

// WebView2's resource filter URI against a request URL: '*' matches any run of characters,
// everything else itself (ASCII case ignored, as the runtime compares URLs).
[[nodiscard]] bool FilterUriMatches(std::string_view filter, std::string_view url);

// The COREWEBVIEW2_WEB_RESOURCE_CONTEXT number of a Fetch.requestPaused resourceType
// ("Document" 1 ... "Other" 16; unknown types count as Other).
[[nodiscard]] int ResourceContextOf(std::string_view resourceType);

// The Fetch.enable urlPattern of a filter URI: CDP treats '?' as a wildcard and '\' as an
// escape, WebView2 neither, so both are escaped.
[[nodiscard]] std::string FetchPatternOf(std::string_view filterUri);

// "Name: value" lines separated by CR LF (the headers argument of
// CreateWebResourceResponse); lines without a name are skipped, values trimmed.
[[nodiscard]] std::vector<std::pair<std::string, std::string>> ParseHeaderLines(
    std::string_view text);

// A Fetch.fulfillRequest responseHeaders array (JSON) of name/value pairs.
[[nodiscard]] std::string HeaderPairsJson(
    const std::vector<std::pair<std::string, std::string>>& headers);
