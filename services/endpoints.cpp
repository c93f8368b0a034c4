#include "services/endpoints.h"

std::wstring ChooseBaseUrl(const std::wstring& overrideValue, const std::wstring& builtIn) {
  std::wstring url = overrideValue;
  while (!url.empty() && url.back() == L'/') url.pop_back();
  return url.empty() ? builtIn : url;
}
