#include "host_mapping.h"

#include "host/json.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool RefusedSegment(const std::string& segment) {
  bool onlyDotsAndSpaces = true;
  for (const char c : segment) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
    switch (c) {
      case '\\':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        return true;
      default:
        break;
    }
    if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
  }
  return onlyDotsAndSpaces;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ParseRequestUrl(std::string_view url, RequestUrl* out) {
  const std::size_t colon = url.find("://");
  if (colon == std::string_view::npos) return false;
  out->scheme = AsciiLower(url.substr(0, colon));
  if (out->scheme != "http" && out->scheme != "https") return false;
  std::string_view rest = url.substr(colon + 3);
  const std::size_t end = rest.find_first_of("?#");
  if (end != std::string_view::npos) rest = rest.substr(0, end);
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  out->path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority = authority.substr(at + 1);
  }
  if (const std::size_t port = authority.rfind(':'); port != std::string_view::npos) {
    authority = authority.substr(0, port);
  }
  if (authority.empty()) return false;
  out->host = AsciiLower(authority);
  return true;
}

bool PercentDecode(std::string_view text, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexDigit(text[i + 1]);
    const int lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return true;
}

std::optional<std::string> MappedFilePath(std::string_view rawPath) {
  std::string decoded;
  if (!PercentDecode(rawPath, &decoded)) return std::nullopt;
  std::string result;
  std::string segment;
  bool endsWithSlash = true;
  for (std::size_t i = 0; i <= decoded.size(); ++i) {
    if (i < decoded.size() && decoded[i] != '/') {
      segment.push_back(decoded[i]);
      endsWithSlash = false;
      continue;
    }
    if (i < decoded.size()) endsWithSlash = true;
    if (segment.empty()) continue;  // "//" and the leading '/'
    if (RefusedSegment(segment)) return std::nullopt;
    if (!result.empty()) result.push_back('\\');
    result += segment;
    segment.clear();
  }
  if (endsWithSlash) {
    if (!result.empty()) result.push_back('\\');
    result += "index.html";
  }
  return result;
}

std::string ContentTypeForPath(std::string_view path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"html", "text/html; charset=utf-8"},
      {"htm", "text/html; charset=utf-8"},
      {"js", "text/javascript; charset=utf-8"},
      {"mjs", "text/javascript; charset=utf-8"},
      {"css", "text/css; charset=utf-8"},
      {"json", "application/json; charset=utf-8"},
      {"txt", "text/plain; charset=utf-8"},
      {"csv", "text/csv; charset=utf-8"},
      {"xml", "application/xml; charset=utf-8"},
      {"svg", "image/svg+xml"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"webp", "image/webp"},
      {"ico", "image/x-icon"},
      {"wasm", "application/wasm"},
      {"woff", "font/woff"},
      {"woff2", "font/woff2"},
      {"ttf", "font/ttf"},
      {"map", "application/json; charset=utf-8"},
  };
  const std::size_t dot = path.rfind('.');
  const std::size_t sep = path.find_last_of("\\/");
  if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) {
    return "application/octet-stream";
  }
  const std::string ext = AsciiLower(path.substr(dot + 1));
  for (const auto& [e, type] : kTypes) {
    if (ext == e) return type;
  }
  return "application/octet-stream";
}

std::string ResponseHeadersJson(std::string_view contentType, bool allowAnyOrigin) {
  std::string h = "[{\"name\":\"Content-Type\",\"value\":\"";
  h.append(contentType);
  h += "\"},{\"name\":\"Cache-Control\",\"value\":\"no-store\"}";
  if (allowAnyOrigin) h += ",{\"name\":\"Access-Control-Allow-Origin\",\"value\":\"*\"}";
  h.push_back(']');
  return h;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseExtraHosts(std::wstring_view text) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(L';', start);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring_view entry = text.substr(start, end - start);
    const std::size_t eq = entry.find(L'=');
    if (eq != std::wstring_view::npos && eq > 0 && eq + 1 < entry.size()) {
      std::wstring host(entry.substr(0, eq));
      for (wchar_t& c : host) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
      }
      out.emplace_back(std::move(host), std::wstring(entry.substr(eq + 1)));
    }
    start = end + 1;
  }
  return out;
}

bool FilterUriMatches(std::string_view filter, std::string_view url) {
  // Iterative wildcard match with one backtrack point: linear in practice, never recursive.
  std::size_t f = 0;
  std::size_t u = 0;
  std::size_t star = std::string_view::npos;
  std::size_t mark = 0;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  while (u < url.size()) {
    if (f < filter.size() && filter[f] == '*') {
      star = f++;
      mark = u;
    } else if (f < filter.size() && lower(filter[f]) == lower(url[u])) {
      ++f;
      ++u;
    } else if (star != std::string_view::npos) {
      f = star + 1;
      u = ++mark;
    } else {
      return false;
    }
  }
  while (f < filter.size() && filter[f] == '*') ++f;
  return f == filter.size();
}

int ResourceContextOf(std::string_view resourceType) {
  static const char* const kTypes[] = {
      "Document",  "Stylesheet", "Image",          "Media",     "Font",
      "Script",    "XHR",        "Fetch",          "TextTrack", "EventSource",
      "WebSocket", "Manifest",   "SignedExchange", "Ping",      "CSPViolationReport"};
  for (int i = 0; i < static_cast<int>(sizeof kTypes / sizeof kTypes[0]); ++i) {
    if (resourceType == kTypes[i]) return i + 1;
  }
  return 16;
}

std::string FetchPatternOf(std::string_view filterUri) {
  std::string out;
  for (const char c : filterUri) {
    if (c == '?' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ParseHeaderLines(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
      s.remove_suffix(1);
    return s;
  };
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view name = trim(line.substr(0, colon));
      if (!name.empty())
        out.emplace_back(std::string(name), std::string(trim(line.substr(colon + 1))));
    }
    start = end + 1;
  }
  return out;
}

std::string HeaderPairsJson(const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string out = "[";
  for (const auto& [name, value] : headers) {
    if (out.size() > 1) out.push_back(',');
    out += "{\"name\":" + JsonQuote(name) + ",\"value\":" + JsonQuote(value) + "}";
  }
  out.push_back(']');
  return out;
}
