#pragma once
// Text routines shared by every subsystem: files are UTF-8 bytes on disk, wide in memory.
#include <windows.h>

#include <cstddef>
#include <string>

// Largest file ReadTextFile reads unless told otherwise: room for the positions and the
// snapshot; configuration and request files pass a far smaller bound.
inline constexpr std::size_t kTextFileCapBytes = 4u * 1024 * 1024;
inline constexpr std::size_t kConfigFileCapBytes = 64u * 1024;
// Chart pictures the runtime captured: far above any screen's PNG, so only a runaway file
// is refused.
inline constexpr std::size_t kPictureFileCapBytes = 256u * 1024 * 1024;

// Whole file as text, whatever its encoding; empty when missing, unreadable, read short, empty
// or over maxBytes (an oversized file is logged once per change of its size or time, and ignored).
[[nodiscard]] std::wstring ReadTextFile(const std::wstring& path, FILETIME* lastWriteTime = nullptr,
                                        std::size_t maxBytes = kTextFileCapBytes);

// Whole file as bytes, unchanged. False when missing, unreadable, a folder, over maxBytes
// (an oversized file is logged once per change, as ReadTextFile does) or read short.
[[nodiscard]] bool ReadFileBytes(const std::wstring& path, std::size_t maxBytes,
                                 std::string* bytes);

// A file (not a folder) is at the path.
[[nodiscard]] bool FileExists(const std::wstring& path);

// ReplaceFileWhole (bridge/file_replace.h, the one write routine) with the brief budget,
// for callers that only need to know whether it worked; callers that report a failure
// use ReplaceFileWhole itself for the Windows error.
[[nodiscard]] bool WriteTextFile(const std::wstring& path, const std::string& bytes);

[[nodiscard]] std::string WideToUtf8(const std::wstring& text);
[[nodiscard]] std::wstring Utf8ToWide(const std::string& text);
