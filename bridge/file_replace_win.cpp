#include <windows.h>

#include <string>

#include "host/win_handles.h"
#include "bridge/file_replace.h"

namespace {

constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplaceRetryMs = 50;

// Unique per process, thread and call, so two writers never share a temporary file.
std::wstring TemporaryPathBeside(const std::wstring& path) {
  static volatile LONG counter = 0;
  const LONG n = ::InterlockedIncrement(&counter);
  return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::GetCurrentThreadId()) + L"_" + std::to_wstring(n) + L".tmp";
}

[[nodiscard]] bool WriteNewFile(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (bytes.empty()) return true;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return false;
  }
  return written == bytes.size();
}

}  // namespace

bool ReplaceFileWhole(const std::wstring& path, const std::string& bytes) {
  const std::wstring temporary = TemporaryPathBeside(path);
  if (!WriteNewFile(temporary, bytes)) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  // The rename fails while a reader holds the old file open without delete sharing (the
  // page's file reader or the terminal may); such a hold is short, so retry for a moment.
  // This runs on worker threads only, never on the window thread.
  for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
    if (::MoveFileExW(temporary.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
        error != ERROR_LOCK_VIOLATION) {
      break;
    }
    ::Sleep(kReplaceRetryMs);
  }
  ::DeleteFileW(temporary.c_str());
  return false;
}
