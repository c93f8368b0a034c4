#pragma once
// Text routines shared by every subsystem: files are UTF-8 bytes on disk, wide in memory.
#include <windows.h>

#include <string>

// Whole file as text, whatever its encoding; empty when missing, unreadable or empty.
[[nodiscard]] std::wstring ReadTextFile(const std::wstring& path,
                                        FILETIME* lastWriteTime = nullptr);

// A file (not a folder) is at the path.
[[nodiscard]] bool FileExists(const std::wstring& path);

// ReplaceFileWhole (bridge/file_replace.h, the one write routine) with the brief budget,
// for callers that only need to know whether it worked; callers that report a failure
// use ReplaceFileWhole itself for the Windows error.
[[nodiscard]] bool WriteTextFile(const std::wstring& path, const std::string& bytes);

[[nodiscard]] std::string WideToUtf8(const std::wstring& text);
[[nodiscard]] std::wstring Utf8ToWide(const std::string& text);
