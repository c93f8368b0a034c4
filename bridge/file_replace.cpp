#include "bridge/file_replace.h"

std::string DescribeWriteError(std::uint32_t error) {
  const char* name = nullptr;
  switch (error) {
    case 2:
      name = "file not found";
      break;
    case 3:
      name = "path not found";
      break;
    case 5:
      name = "access denied";
      break;
    case 32:
      name = "sharing violation";
      break;
    case 33:
      name = "lock violation";
      break;
    case 112:
      name = "disk full";
      break;
    case 258:
      name = "timed out";
      break;
    default:
      break;
  }
  std::string text = "Windows error " + std::to_string(error);
  if (name) text += std::string(" (") + name + ")";
  return text;
}
