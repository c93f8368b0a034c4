#pragma once
// UTF-8 / UTF-16 conversions and CoTaskMemAlloc copies for the runtime's COM surface.
#include <windows.h>

#include <objbase.h>

#include <string>
#include <string_view>

inline std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  }
  return out;
}

inline std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
  }
  return out;
}

inline std::string Narrow(LPCWSTR text) {
  return text ? Narrow(std::wstring_view(text)) : "";
}

// A NUL-terminated copy in CoTaskMemAlloc memory for an LPWSTR out-parameter.
[[nodiscard]] inline HRESULT CoTaskMemCopy(std::wstring_view text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (!*out) return E_OUTOFMEMORY;
  text.copy(*out, text.size());
  (*out)[text.size()] = L'\0';
  return S_OK;
}

// The value of an environment variable, empty when unset.
inline std::wstring EnvironmentValue(const wchar_t* name) {
  const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  const DWORD got = ::GetEnvironmentVariableW(name, value.data(), n);
  value.resize(got < n ? got : 0);
  return value;
}
