#include "browser_launch.h"

#include <cstdint>
#include <cstdio>

bool ParseDevToolsActivePort(std::string_view content, DevToolsEndpoint* out) {
  const std::size_t newline = content.find('\n');
  if (newline == std::string_view::npos) return false;
  std::string_view portText = content.substr(0, newline);
  if (!portText.empty() && portText.back() == '\r') portText.remove_suffix(1);
  if (portText.empty() || portText.size() > 5) return false;
  int port = 0;
  for (const char c : portText) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  if (port <= 0 || port > 65535) return false;
  std::string_view path = content.substr(newline + 1);
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r' || path.back() == ' ')) {
    path.remove_suffix(1);
  }
  if (path.substr(0, 18) != "/devtools/browser/" || path.size() == 18) return false;
  out->port = port;
  out->path = std::string(path);
  return true;
}

std::vector<std::wstring> ChromiumArguments(const std::wstring& unixUserDataFolder, bool headful,
                                            const std::vector<std::wstring>& extraArguments) {
  std::vector<std::wstring> args;
  if (!headful) args.push_back(L"--headless");
  // --log-level=3: Wine hands the Linux process the host's own output descriptors, whatever
  // standard handles it is given, so only fatal errors may be written there.
  for (const wchar_t* flag : {L"--no-sandbox", L"--disable-gpu", L"--disable-quic",
                              L"--no-first-run", L"--no-default-browser-check",
                              L"--disable-background-networking", L"--disable-component-update",
                              L"--disable-sync", L"--remote-debugging-port=0", L"--log-level=3",
                              // Frames of other sites stay in the page's own renderer, so
                              // the page session's document scripts, request interception
                              // and frame events cover child frames as WebView2's do.
                              L"--disable-site-isolation-trials",
                              L"--disable-features=IsolateOrigins,site-per-process"}) {
    args.emplace_back(flag);
  }
  args.push_back(L"--user-data-dir=" + unixUserDataFolder);
  args.insert(args.end(), extraArguments.begin(), extraArguments.end());
  args.emplace_back(L"about:blank");
  return args;
}

std::vector<std::wstring> SplitArguments(std::wstring_view text) {
  std::vector<std::wstring> out;
  std::wstring current;
  bool inQuotes = false;
  bool any = false;
  for (const wchar_t c : text) {
    if (c == L'"') {
      inQuotes = !inQuotes;
      any = true;
    } else if ((c == L' ' || c == L'\t') && !inQuotes) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current.push_back(c);
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

namespace {
void AppendQuoted(const std::wstring& arg, std::wstring* line) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    *line += arg;
    return;
  }
  line->push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless they precede a quote: then each must be doubled.
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, L'\\');
  line->push_back(L'"');
}
}  // namespace

std::wstring BuildCommandLine(const std::wstring& program,
                              const std::vector<std::wstring>& arguments) {
  std::wstring line;
  AppendQuoted(program, &line);
  for (const std::wstring& arg : arguments) {
    line.push_back(L' ');
    AppendQuoted(arg, &line);
  }
  return line;
}

std::wstring BrowserMutexName(std::wstring_view userDataFolder) {
  std::wstring canonical;
  for (wchar_t c : userDataFolder) {
    if (c == L'/') c = L'\\';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    canonical.push_back(c);
  }
  while (!canonical.empty() && canonical.back() == L'\\') canonical.pop_back();
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const wchar_t c : canonical) {
    hash ^= static_cast<std::uint64_t>(c);
    hash *= 1099511628211ull;
  }
  wchar_t hex[17];
  std::swprintf(hex, 17, L"%016llx", static_cast<unsigned long long>(hash));
  return std::wstring(L"Local\\QuorvaleWebView2Browser-") + hex;
}
