#pragma once
// The version this runtime reports: in its version resource (read by the loader for a
// fixed runtime folder) and from get_BrowserVersionString. At least 86.0.616.0, the oldest
// runtime the host accepts.
#define QV_RUNTIME_VERSION_TEXT "156.0.8078.73"
#define QV_RUNTIME_VERSION_WTEXT L"156.0.8078.73"
#define QV_RUNTIME_VERSION_BINARY 156, 0, 8078, 73
