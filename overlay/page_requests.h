#pragma once
#include <string>

// Requests of the HUD that the host answers itself rather than turning into bridge files.
// True when message was one of them (and has been handled).
[[nodiscard]] bool HandlePageRequest(const std::wstring& message);
