#include "host/debug_log.h"

#include <cstdio>

namespace {
int Clamp(int value, int low, int high) {
  return value < low ? low : (value > high ? high : value);
}
}  // namespace

std::string FormatAsctimeStamp(const std::tm& time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s %s %2d %02d:%02d:%02d %04d",
                kDays[Clamp(time.tm_wday, 0, 6)], kMonths[Clamp(time.tm_mon, 0, 11)],
                Clamp(time.tm_mday, 0, 99), Clamp(time.tm_hour, 0, 99), Clamp(time.tm_min, 0, 99),
                Clamp(time.tm_sec, 0, 99), Clamp(time.tm_year + 1900, 0, 9999));
  return buffer;
}

std::string FormatLogEntry(const std::string& stamp, const std::string& message) {
  // Messages carry foreign text (page messages, file contents, server answers): one entry
  // stays one bounded line, so nothing written from outside can forge or flood entries.
  std::size_t keep = message.size();
  bool cut = false;
  if (keep > kMaxLogMessageBytes) {
    keep = kMaxLogMessageBytes;
    // Never half a UTF-8 sequence at the cut.
    while (keep > 0 && (static_cast<unsigned char>(message[keep]) & 0xC0) == 0x80) --keep;
    cut = true;
  }
  std::string entry;
  entry.reserve(stamp.size() + keep + 16);
  entry += '[';
  entry += stamp;
  entry += "] ";
  for (std::size_t i = 0; i < keep; ++i) {
    const auto byte = static_cast<unsigned char>(message[i]);
    entry += byte < 0x20 || byte == 0x7F ? '?' : message[i];
  }
  if (cut) entry += " [cut]";
  entry += '\n';
  return entry;
}

std::string FormatCrashLine(std::uint32_t code, std::uint64_t address) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "FATAL CRASH / EXCEPTION: Code=0x%08X Address=%016llX",
                static_cast<unsigned>(code), static_cast<unsigned long long>(address));
  return buffer;
}
