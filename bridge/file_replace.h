#pragma once
#include <string>

// Replaces the file with exactly these bytes so that a reader sees the old content or the
// new one, never a mix: a temporary file in the same folder, then a rename over the old
// one. False when the new content could not be put in place; the old file is then left as
// it was and no temporary file stays behind.
[[nodiscard]] bool ReplaceFileWhole(const std::wstring& path, const std::string& bytes);
