#include <windows.h>

#include <string>

#include "services/endpoints.h"

namespace {
std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[2048];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 2048);
  if (length == 0 || length >= 2048) return {};
  return std::wstring(buffer, length);
}
}  // namespace

std::wstring CloudBaseUrl() {
  return ChooseBaseUrl(EnvironmentValue(kCloudBaseUrlVariable), kCloudBaseUrl);
}

std::wstring TelegramApiBaseUrl() {
  return ChooseBaseUrl(EnvironmentValue(kTelegramApiBaseVariable), kTelegramApiBaseUrl);
}
