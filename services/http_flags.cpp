#include "services/http_flags.h"

bool IsHttpsUrl(const std::wstring& url) {
  static constexpr wchar_t kScheme[] = L"https:";
  if (url.size() < 6) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    const wchar_t c = url[i] >= L'A' && url[i] <= L'Z' ? url[i] - L'A' + L'a' : url[i];
    if (c != kScheme[i]) return false;
  }
  return true;
}

std::uint32_t HttpRequestFlags(bool https) {
  return kFlagReload | kFlagNoCacheWrite | (https ? kFlagSecure : 0u);
}
