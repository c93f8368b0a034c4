// Stand-in for a runtime's EmbeddedBrowserWebView.dll in the loader's Wine tests; never
// shipped. Built three ways: with the entry point, without it (QV_FAKE_RUNTIME_NO_ENTRY),
// and importing a DLL the tests never install (QV_FAKE_RUNTIME_ABSENT_IMPORT).
//
// The entry point appends what it received to the file QV_FAKE_RUNTIME_RECORD names, then
// returns QV_FAKE_RUNTIME_RESULT (hex, default S_OK) and, only when that is a success,
// calls the handler with E_FAIL and no environment.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "webview2/webview2_abi.h"

#if defined(QV_FAKE_RUNTIME_ABSENT_IMPORT)
extern "C" __declspec(dllimport) int QvAbsentDependencyMarker();
#endif

#if !defined(QV_FAKE_RUNTIME_NO_ENTRY)
namespace {

std::wstring Variable(const wchar_t* name, const wchar_t* unset) {
  wchar_t buffer[4096];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 4096);
  if (length == 0 || length >= 4096) return unset;
  return std::wstring(buffer, length);
}

void AppendRecord(const std::wstring& text) {
  const std::wstring path = Variable(L"QV_FAKE_RUNTIME_RECORD", L"");
  if (path.empty()) return;
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes,
                        nullptr, nullptr);
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE
    CreateWebViewEnvironmentWithOptionsInternal(
        BOOL flag, int runtimeType, PCWSTR userDataFolder, IUnknown* options,
        ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
#if defined(QV_FAKE_RUNTIME_ABSENT_IMPORT)
  if (QvAbsentDependencyMarker() != 0) return E_UNEXPECTED;
#endif
  wchar_t pointers[64];
  std::swprintf(pointers, 64, L"options=%p\r\n", static_cast<void*>(options));
  AppendRecord(L"flag=" + std::to_wstring(flag) + L"\r\nruntimeType=" +
               std::to_wstring(runtimeType) + L"\r\nuserDataFolder=" +
               (userDataFolder ? userDataFolder : L"(null)") + L"\r\n" + pointers + L"handler=" +
               (handler ? L"set" : L"null") + L"\r\nadditionalArguments=" +
               Variable(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", L"(unset)") + L"\r\n");
  const HRESULT result = static_cast<HRESULT>(
      std::wcstoul(Variable(L"QV_FAKE_RUNTIME_RESULT", L"0").c_str(), nullptr, 16));
  if (SUCCEEDED(result) && handler) handler->Invoke(E_FAIL, nullptr);
  return result;
}
#endif

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return S_FALSE;
}
