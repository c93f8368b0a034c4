#pragma once
// What the host answers on the virtual data host. The host serves it itself (a resource
// filter, not a folder mapping), so it decides per request: only the files the HUD and the
// studio read (never the settings with the keys: those reach the HUD through its channel), only to
// the chart site's documents and the data host's own (the studio page), CORS answered to the chart
// site's origin alone, never "*".
//
// Judged by the request's resource context, and by Origin when it is there. The browser
// adds Origin to every cross-origin read a script can see (fetch, XHR), but the host may
// not see it: WebView2's WebResourceRequested "may not contain any request headers that are
// added by the network stack". So:
// - an Origin that is present and is neither the chart site's nor the data host's (and
//   "null") is refused;
// - a request that may be the chart site's (its Origin, or none at all) is answered with
//   Access-Control-Allow-Origin for the chart site alone, plus Vary: Origin. Whatever page
//   really asked, the browser lets only the chart site's documents read the answer, so a
//   foreign page without a visible Origin still reads nothing;
// - bridge files go only to reads (fetch, XHR): a document, a script, a style sheet, an
//   image or any other load gets none; only the studio page is a document, and only the
//   icon an image.
// The fetch metadata headers mark a navigation too when they are present; they are usually
// absent (the network stack adds them after interception), and nothing depends on them.
#include <cstddef>
#include <string>

// What the resource context says the request loads.
enum class DataHostContext {
  kUnknown,   // not told: taken as a read
  kDocument,  // a navigation (top level or frame)
  kRead,      // fetch or XMLHttpRequest
  kImage,
  kOther,  // script, style sheet, font, media, socket and the rest
};

struct DataHostRequest {
  std::string method;
  std::string url;
  // Header values, empty when absent.
  std::string origin;
  std::string secFetchSite;
  std::string secFetchMode;
  std::string secFetchDest;
  DataHostContext context = DataHostContext::kUnknown;
};

enum class DataHostVerdict { Serve, Preflight, Forbidden, NotFound };

struct DataHostAnswer {
  DataHostVerdict verdict = DataHostVerdict::NotFound;
  bool studioPage = false;   // serve the studio page from memory
  std::string fileName;      // otherwise this file of the bridge folder
  std::size_t maxBytes = 0;  // a larger file is not served
  std::string contentType;
  std::string allowOrigin;  // Access-Control-Allow-Origin to send, or none when empty
  bool headOnly = false;    // HEAD: headers without the body
};

// chartOrigin and dataHostOrigin are "https://host" (lower case, no trailing slash).
[[nodiscard]] DataHostAnswer DecideDataHostRequest(const DataHostRequest& request,
                                                   const std::string& chartOrigin,
                                                   const std::string& dataHostOrigin);

// Status code and reason phrase of an answer (a served file that is missing is 404).
[[nodiscard]] int DataHostStatus(DataHostVerdict verdict);
[[nodiscard]] const char* DataHostReason(DataHostVerdict verdict);

// The response headers, "Name: value" lines joined by CR LF, for an answer; a refusal
// carries a plain-text type. Always Cache-Control: no-store.
[[nodiscard]] std::string DataHostResponseHeaders(const DataHostAnswer& answer,
                                                  DataHostVerdict verdict);
