#include <windows.h>

#include <string>

#include "bridge/file_replace.h"
#include "host/win_handles.h"

namespace {

// Delays before each retry; the sums are the budgets the header promises.
constexpr DWORD kBriefDelaysMs[] = {2, 5, 8, 15};
constexpr DWORD kPatientDelayMs = 50;
constexpr int kPatientRetries = 100;

// Unique per process, thread and call, so two writers never share a temporary file. The
// "~QV_" prefix keeps it out of every pattern a reader lists (QV_*, QV_Order_*).
std::wstring TemporaryPathBeside(const std::wstring& path) {
  static volatile LONG counter = 0;
  const LONG n = ::InterlockedIncrement(&counter);
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
  const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  return folder + L"~" + name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::GetCurrentThreadId()) + L"_" + std::to_wstring(n) + L".tmp";
}

DWORD ErrorOrGeneric() {
  const DWORD error = ::GetLastError();
  return error == 0 ? ERROR_GEN_FAILURE : error;
}

[[nodiscard]] DWORD WriteNewFile(const std::wstring& path, const std::string& bytes,
                                 WriteDurability durability) {
  // The name is unique among live writers (process, thread, call), so a file already
  // there was left by a writer that died between writing and renaming; process and thread
  // ids are reused, so refusing it (CREATE_NEW) would fail a later write for nothing.
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ErrorOrGeneric();
  if (bytes.empty()) return 0;
  DWORD written = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return ErrorOrGeneric();
  }
  if (written != bytes.size()) return ERROR_HANDLE_DISK_FULL;
  // Flushed before the rename, so a power loss never leaves the name pointing at empty data.
  if (durability == WriteDurability::kPowerLoss && !::FlushFileBuffers(file.get())) {
    return ErrorOrGeneric();
  }
  return 0;
}

bool IsTransient(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

}  // namespace

WriteStatus ReplaceFileWhole(const std::wstring& path, const std::string& bytes, WriteRetry retry,
                             WriteDurability durability) {
  const std::wstring temporary = TemporaryPathBeside(path);
  if (const DWORD error = WriteNewFile(temporary, bytes, durability)) {
    ::DeleteFileW(temporary.c_str());
    return {error};
  }
  // The rename fails while a reader holds the old file open without delete sharing (the
  // page's file reader or the terminal may); such a hold is short, so retry for a moment.
  const int retries = retry == WriteRetry::kBrief
                          ? static_cast<int>(sizeof kBriefDelaysMs / sizeof kBriefDelaysMs[0])
                          : kPatientRetries;
  DWORD error = 0;
  for (int attempt = 0;; ++attempt) {
    const DWORD flags = durability == WriteDurability::kPowerLoss
                            ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
                            : MOVEFILE_REPLACE_EXISTING;
    if (::MoveFileExW(temporary.c_str(), path.c_str(), flags)) {
      return {};
    }
    error = ErrorOrGeneric();
    if (!IsTransient(error) || attempt >= retries) break;
    ::Sleep(retry == WriteRetry::kBrief ? kBriefDelaysMs[attempt] : kPatientDelayMs);
  }
  ::DeleteFileW(temporary.c_str());
  return {error};
}
