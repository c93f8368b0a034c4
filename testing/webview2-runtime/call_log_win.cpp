#include "testing/webview2-runtime/call_log_win.h"

#include "host/win_handles.h"
#include "testing/webview2-runtime/text_win.h"

void RecordCall(std::string_view line) {
  static const std::wstring path = EnvironmentValue(L"QV_WEBVIEW2_CALL_LOG");
  if (path.empty()) return;
  // Opened per line with append access and full sharing: several processes (two chart
  // children, a test reading along) write and read the one record.
  UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text(line);
  text.push_back('\n');
  DWORD written = 0;
  // The record is a test instrument with no log of its own beside it; a line it cannot hold
  // is said on the debugger channel, so a test that waits for it in vain can be explained.
  if (!file ||
      !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    ::OutputDebugStringA(("Quorvale WebView2 runtime: call record not written: " + text).c_str());
  }
}

std::string CallArg(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string CallArg(LPCWSTR text) {
  return text ? CallArg(Narrow(text)) : "(null)";
}
