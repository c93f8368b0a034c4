#include "overlay/data_host_request.h"

#include <cctype>

#include "bridge/bridge_names.h"
#include "host/ascii_text.h"

namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * 1024;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool AllDigits(const std::string& text, std::size_t maxLen) {
  if (text.empty() || text.size() > maxLen) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "<prefix><middle><suffix>" with a middle that passes ok.
bool Shaped(const std::string& name, const std::string& prefix, const std::string& suffix,
            bool (*ok)(const std::string&)) {
  if (!StartsWith(name, prefix) || !EndsWith(name, suffix) ||
      name.size() <= prefix.size() + suffix.size()) {
    return false;
  }
  return ok(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

bool ChartHandle(const std::string& text) {
  return AllDigits(text, 20) && text[0] != '0';
}

// "<instrument>_<bar>" of an AutoTrader claim file (instrument: letters, digits, "_-.").
bool ClaimKey(const std::string& text) {
  const std::size_t cut = text.rfind('_');
  if (cut == std::string::npos || cut == 0 || cut > 32) return false;
  for (std::size_t i = 0; i < cut; ++i) {
    const char c = text[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
      return false;
  }
  return AllDigits(text.substr(cut + 1), 20);
}

struct Served {
  const char* contentType;
  std::size_t maxBytes;
};

constexpr Served kJson{"application/json; charset=utf-8", 4 * kMiB};
constexpr Served kPicture{"image/png", 8 * kMiB};
constexpr Served kClaim{"text/plain; charset=utf-8", 4 * kKiB};
constexpr Served kIcon{"image/x-icon", 1 * kMiB};

// The files the HUD and the studio page read; nothing else of the bridge folder is served.
bool AllowedFile(const std::string& name, Served* served) {
  if (name == kOpenPositionsName || name == kCopilotDataName || name == kCotDataName ||
      Shaped(name, kCopilotDataPrefix, ".json", ChartHandle)) {
    *served = kJson;
  } else if (name == kChartPictureName || Shaped(name, kChartPicturePrefix, ".png", ChartHandle)) {
    *served = kPicture;
  } else if (Shaped(name, "QV_ATClaim_", ".txt", ClaimKey)) {
    *served = kClaim;
  } else if (name == "quorvale.ico") {
    *served = kIcon;
  } else {
    return false;
  }
  return true;
}

// A path that could name anything outside the folder, or that needs decoding to mean
// something: none of the served names has an escape, a separator or a dot pair.
bool EscapingPath(const std::string& path) {
  if (path.find('%') != std::string::npos || path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos || path.find(':') != std::string::npos ||
      path.find("..") != std::string::npos) {
    return true;
  }
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

DataHostAnswer Refuse(DataHostVerdict verdict) {
  DataHostAnswer answer;
  answer.verdict = verdict;
  return answer;
}

}  // namespace

DataHostAnswer DecideDataHostRequest(const DataHostRequest& request, const std::string& chartOrigin,
                                     const std::string& dataHostOrigin) {
  // Only "<data host origin>/<name>" (query and fragment aside) names a file.
  const std::string prefix = dataHostOrigin + "/";
  if (AsciiLowered(request.url.substr(0, prefix.size())) != AsciiLowered(prefix)) {
    return Refuse(DataHostVerdict::NotFound);
  }
  std::string path = request.url.substr(prefix.size());
  path = path.substr(0, path.find_first_of("?#"));
  if (EscapingPath(path) || path.find('/') != std::string::npos) {
    return Refuse(DataHostVerdict::Forbidden);
  }

  const std::string origin = AsciiLowered(request.origin);
  const std::string site = AsciiLowered(request.secFetchSite);
  const std::string dest = AsciiLowered(request.secFetchDest);
  const bool fromChart = !origin.empty() && origin == AsciiLowered(chartOrigin);
  const bool fromDataHost = !origin.empty() && origin == AsciiLowered(dataHostOrigin);
  // Any other origin, "null" (sandboxed and opaque documents) included, is not ours.
  if (!origin.empty() && !fromChart && !fromDataHost) return Refuse(DataHostVerdict::Forbidden);
  const std::string method = request.method.empty() ? std::string("GET") : request.method;
  // The answer may be the chart site's to read unless another origin asked.
  const std::string chartMayRead = fromDataHost ? std::string() : chartOrigin;
  if (method == "OPTIONS") {
    if (fromDataHost) return Refuse(DataHostVerdict::Forbidden);
    DataHostAnswer answer;
    answer.verdict = DataHostVerdict::Preflight;
    answer.allowOrigin = chartOrigin;
    return answer;
  }
  if (method != "GET" && method != "HEAD") return Refuse(DataHostVerdict::Forbidden);

  const bool navigation = request.context == DataHostContext::kDocument || dest == "document" ||
                          dest == "iframe" || dest == "frame" ||
                          AsciiLowered(request.secFetchMode) == "navigate" || site == "none";
  DataHostAnswer answer;
  answer.headOnly = method == "HEAD";
  if (path == "headless.html") {
    // The studio's own page, shown as a document of the data host: no CORS to answer.
    answer.verdict = DataHostVerdict::Serve;
    answer.studioPage = true;
    answer.contentType = "text/html; charset=utf-8";
    return answer;
  }
  Served served{};
  if (!AllowedFile(path, &served)) return Refuse(DataHostVerdict::NotFound);
  // Bridge files are read, never visited or loaded into a page; the icon is an image.
  const bool icon = path == "quorvale.ico";
  const bool loadable = icon ? request.context != DataHostContext::kDocument
                             : request.context == DataHostContext::kRead ||
                                   request.context == DataHostContext::kUnknown;
  if (navigation || !loadable) return Refuse(DataHostVerdict::Forbidden);
  answer.verdict = DataHostVerdict::Serve;
  answer.fileName = path;
  answer.maxBytes = served.maxBytes;
  answer.contentType = served.contentType;
  answer.allowOrigin = chartMayRead;
  return answer;
}

int DataHostStatus(DataHostVerdict verdict) {
  switch (verdict) {
    case DataHostVerdict::Serve:
      return 200;
    case DataHostVerdict::Preflight:
      return 204;
    case DataHostVerdict::Forbidden:
      return 403;
    case DataHostVerdict::NotFound:
      break;
  }
  return 404;
}

const char* DataHostReason(DataHostVerdict verdict) {
  switch (verdict) {
    case DataHostVerdict::Serve:
      return "OK";
    case DataHostVerdict::Preflight:
      return "No Content";
    case DataHostVerdict::Forbidden:
      return "Forbidden";
    case DataHostVerdict::NotFound:
      break;
  }
  return "Not Found";
}

std::string DataHostResponseHeaders(const DataHostAnswer& answer, DataHostVerdict verdict) {
  const bool served = verdict == DataHostVerdict::Serve;
  std::string headers =
      "Content-Type: " + (served ? answer.contentType : std::string("text/plain; charset=utf-8"));
  headers += "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff";
  if (!answer.allowOrigin.empty() &&
      (verdict == DataHostVerdict::Serve || verdict == DataHostVerdict::Preflight ||
       verdict == DataHostVerdict::NotFound)) {
    headers += "\r\nAccess-Control-Allow-Origin: " + answer.allowOrigin + "\r\nVary: Origin";
  }
  if (verdict == DataHostVerdict::Preflight) {
    headers += "\r\nAccess-Control-Allow-Methods: GET, HEAD\r\nAccess-Control-Max-Age: 600";
  }
  return headers;
}
