#pragma once
// Base URLs of the two outside services. Each is a built-in constant that an environment
// variable may replace, so the tests can point the program at servers on 127.0.0.1.
#include <string>

inline constexpr wchar_t kCloudBaseUrl[] = L"https://api.quorvaleworkspace.com";
inline constexpr wchar_t kTelegramApiBaseUrl[] = L"https://api.telegram.org";
inline constexpr wchar_t kCloudBaseUrlVariable[] = L"QV_CLOUD_BASE_URL";
inline constexpr wchar_t kTelegramApiBaseVariable[] = L"QV_TELEGRAM_API_BASE";

// The override when it is set and non-empty, without trailing slashes (paths are appended
// with their own leading slash); otherwise the built-in value.
[[nodiscard]] std::wstring ChooseBaseUrl(const std::wstring& overrideValue,
                                         const std::wstring& builtIn);

// Resolved from the environment (Windows only).
[[nodiscard]] std::wstring CloudBaseUrl();
[[nodiscard]] std::wstring TelegramApiBaseUrl();
