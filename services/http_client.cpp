#include "services/http_client.h"

std::wstring ChooseBaseUrl(const std::wstring& overrideValue, const std::wstring& builtIn) {
  std::wstring url = overrideValue;
  while (!url.empty() && url.back() == L'/') url.pop_back();
  return url.empty() ? builtIn : url;
}

bool IsHttpsUrl(const std::wstring& url) {
  static constexpr wchar_t kScheme[] = L"https:";
  if (url.size() < 6) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    const wchar_t c = url[i] >= L'A' && url[i] <= L'Z' ? url[i] - L'A' + L'a' : url[i];
    if (c != kScheme[i]) return false;
  }
  return true;
}

std::uint32_t HttpRequestFlags(bool https) {
  return kFlagReload | kFlagNoCacheWrite | (https ? kFlagSecure : 0u);
}

void PostsInFlight::Begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
}

void PostsInFlight::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ > 0) --count_;
  if (count_ == 0) idle_.notify_all();
}

bool PostsInFlight::WaitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return count_ == 0; });
}

std::size_t PostsInFlight::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}
