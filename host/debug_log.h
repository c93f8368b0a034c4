#pragma once
#include <string>

// Appends "[asctime stamp] message" to %APPDATA%\Quorvale_Workspace_Debug.log. Never fails
// towards the caller: any error drops the entry.
void LogDebug(const std::string& message) noexcept;
