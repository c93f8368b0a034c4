#pragma once
// What the host answers on the virtual data host. The host serves it itself (a resource
// filter, not a folder mapping), so it decides per request: only the files the HUD and the
// studio read (never the settings with the keys: those reach the HUD through its channel), only to
// the chart site's documents and the data host's own (the studio page), CORS answered to the chart
// site's origin alone, never "*".
//
// Judged by Origin first: a cross-origin read a script can see (fetch, XHR) always carries
// one, so every other origin, and "null", is refused. A request without Origin is the
// studio page's navigation or one of its same-origin reads (GET carries no Origin then);
// when the fetch metadata headers are present they narrow that further. They may be absent
// (the runtime under Wine sees requests before the network stack adds them), and the
// decision stays sound without them: a cross-origin request without Origin is a no-cors
// load whose response the requesting page cannot read (answered with nosniff, so it is
// not run as a script either).
#include <cstddef>
#include <string>

struct DataHostRequest {
  std::string method;
  std::string url;
  // Header values, empty when absent.
  std::string origin;
  std::string secFetchSite;
  std::string secFetchMode;
  std::string secFetchDest;
  // The request loads a document (the resource context is a navigation).
  bool document = false;
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
