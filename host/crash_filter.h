#pragma once
#include <windows.h>

// Top-level unhandled-exception filter: one crash line in the debug log, then Windows'
// default handling goes on.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) noexcept;
