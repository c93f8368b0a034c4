#include <cstdint>

#include "host/crash_filter.h"
#include "host/debug_log.h"

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) noexcept {
  std::uint32_t code = 0;
  std::uint64_t address = 0;
  if (info && info->ExceptionRecord) {
    code = info->ExceptionRecord->ExceptionCode;
    address = reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress);
  }
  try {
    LogDebug(FormatCrashLine(code, address));
  } catch (...) {
  }
  return EXCEPTION_CONTINUE_SEARCH;
}
