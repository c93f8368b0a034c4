#include <windows.h>

#include "host/autostart.h"
#include "host/debug_log.h"
#include "host/win_handles.h"

void RegisterAutoStart() noexcept {
  try {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A truncated path would register some other program; treat it as unavailable.
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring data = L"\"" + std::wstring(path, length) + L"\"";
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                        KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
      return;
    }
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    if (::RegSetValueExW(key.get(), L"QuorvaleWorkspace", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS) {
      LogDebug("Quorvale AutoStart registered in HKCU Run successfully.");
    }
  } catch (...) {
    LogDebug("AutoStart registration exception handled.");
  }
}
