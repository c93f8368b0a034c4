#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/file_replace.h"
#include "bridge/text_encoding.h"
#include "bridge/text_file.h"
#include "host/debug_log.h"
#include "host/win_handles.h"

// One decoder and encoder for every conversion, the pure ones that the file reads use.
std::string WideToUtf8(const std::wstring& text) {
  return EncodeUtf8(text);
}

namespace {
// One line per oversized file and change: the window thread re-reads some files every
// 100 ms, and the log must not grow with every look.
void LogOversizedOnce(const std::wstring& path, long long size, const FILETIME& written) {
  static std::mutex lock;
  static std::map<std::wstring, std::pair<long long, unsigned long long>> logged;
  const unsigned long long stamp =
      (static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  {
    const std::lock_guard<std::mutex> hold(lock);
    auto& seen = logged[path];
    if (seen.first == size && seen.second == stamp) return;
    seen = {size, stamp};
  }
  LogDebug("Ignored oversized file (" + std::to_string(size) + " bytes): " + WideToUtf8(path));
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  return DecodeUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

namespace {

// Bridge files are small; anything that does not fit one read call is not ours. A read that
// fails or ends early (the file shrank under us) is a failure, never the part that came:
// a cut PNG would be uploaded as a picture, a cut record taken for a shorter one.
bool ReadOpenFile(HANDLE file, const std::wstring& path, std::size_t maxBytes,
                  const FILETIME& written, std::string* bytes) {
  bytes->clear();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  if (size.QuadPart > 0x7FFFFFF0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    LogOversizedOnce(path, size.QuadPart, written);
    return false;
  }
  bytes->resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    if (!::ReadFile(file, bytes->data() + done, static_cast<DWORD>(bytes->size() - done), &read,
                    nullptr) ||
        read == 0) {
      bytes->clear();
      return false;
    }
    done += read;
  }
  return true;
}

// Delete sharing lets the terminal companion replace or remove the file while we read.
UniqueFile OpenForReading(const std::wstring& path) {
  return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::wstring ReadTextFile(const std::wstring& path, FILETIME* lastWriteTime, std::size_t maxBytes) {
  UniqueFile file = OpenForReading(path);
  if (!file) return {};
  FILETIME written{};
  if (!::GetFileTime(file.get(), nullptr, nullptr, &written)) written = FILETIME{};
  if (lastWriteTime) *lastWriteTime = written;
  std::string bytes;
  if (!ReadOpenFile(file.get(), path, maxBytes, written, &bytes)) return {};
  file.reset();
  return DecodeTextFileBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool ReadFileBytes(const std::wstring& path, std::size_t maxBytes, std::string* bytes) {
  bytes->clear();
  UniqueFile file = OpenForReading(path);
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  return ReadOpenFile(file.get(), path, maxBytes, info.ftLastWriteTime, bytes);
}

bool WriteTextFile(const std::wstring& path, const std::string& bytes) {
  return ReplaceFileWhole(path, bytes).ok();
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
