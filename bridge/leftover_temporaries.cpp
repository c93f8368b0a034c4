#include "bridge/leftover_temporaries.h"

#include <vector>

#include "bridge/bridge_names.h"

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "12_34_5" split at '_' into numbers; false unless each of the count parts is 1 to 20 digits.
bool DigitFields(const std::wstring& text, std::size_t count, std::vector<std::uint64_t>* out) {
  out->clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = i + 1 == count ? text.size() : text.find(L'_', start);
    if (end == std::wstring::npos || end == start || end - start > 20) return false;
    std::uint64_t value = 0;
    for (std::size_t k = start; k < end; ++k) {
      if (text[k] < L'0' || text[k] > L'9') return false;
      value = value * 10 + static_cast<std::uint64_t>(text[k] - L'0');
    }
    out->push_back(value);
    start = end + 1;
  }
  return true;
}

std::uint32_t AsProcessId(std::uint64_t value) {
  return value == 0 || value > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(value);
}

bool IsSweptTarget(const std::wstring& target) {
  if (target == WideName(kCotDataName) || target == WideName(kChartPictureName)) return true;
  const std::wstring prefix = WideName(kChartPicturePrefix);
  if (!StartsWith(target, prefix) || !EndsWith(target, L".png")) return false;
  std::vector<std::uint64_t> handle;
  return DigitFields(target.substr(prefix.size(), target.size() - prefix.size() - 4), 1, &handle);
}

}  // namespace

std::uint32_t LeftoverTemporaryWriter(const std::wstring& name) {
  std::vector<std::uint64_t> fields;
  const std::wstring capture = kCaptureTemporaryPrefix;
  const std::wstring picture = kChartPictureTemporaryPrefix;
  if (StartsWith(name, capture) && EndsWith(name, L".png")) {
    const std::wstring middle = name.substr(capture.size(), name.size() - capture.size() - 4);
    return DigitFields(middle, 3, &fields) ? AsProcessId(fields[1]) : 0;
  }
  if (StartsWith(name, picture) && EndsWith(name, L".png")) {
    const std::wstring middle = name.substr(picture.size(), name.size() - picture.size() - 4);
    return DigitFields(middle, 2, &fields) ? AsProcessId(fields[0]) : 0;
  }
  if (StartsWith(name, L"~") && EndsWith(name, L".tmp")) {
    const std::wstring inner = name.substr(1, name.size() - 5);
    const std::size_t dot = inner.find_last_of(L'.');
    if (dot == std::wstring::npos || !IsSweptTarget(inner.substr(0, dot))) return 0;
    return DigitFields(inner.substr(dot + 1), 3, &fields) ? AsProcessId(fields[0]) : 0;
  }
  return 0;
}
