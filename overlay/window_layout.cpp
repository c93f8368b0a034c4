#include "overlay/window_layout.h"

#include "host/ascii_text.h"

WindowRect OverlayRect(int clientWidth, int clientHeight) {
  return {0, 0, clientWidth <= 0 ? 800 : clientWidth, clientHeight <= 0 ? 600 : clientHeight};
}

WindowRect StudioRect(int screenWidth, int screenHeight) {
  WindowRect rect;
  rect.width = screenWidth > 1100 ? 960 : screenWidth - 60;
  rect.height = screenHeight > 800 ? 720 : screenHeight - 60;
  rect.x = (screenWidth - rect.width) / 2;
  rect.y = (screenHeight - rect.height) / 2;
  if (rect.x < 0) rect.x = 30;
  if (rect.y < 0) rect.y = 30;
  return rect;
}

Rgb BackgroundForTheme(const std::wstring& theme) {
  return theme == L"light" ? Rgb{245, 247, 250} : Rgb{14, 18, 28};
}

std::wstring TickerOf(const std::wstring& symbol) {
  const std::size_t colon = symbol.find(L':');
  return colon == std::wstring::npos ? symbol : symbol.substr(colon + 1);
}

bool IsNewTicker(const std::wstring& currentSymbol, const std::wstring& mappedSymbol) {
  const std::wstring next = TickerOf(mappedSymbol);
  if (next.empty()) return false;
  const std::wstring current = TickerOf(currentSymbol);
  return !EqualsNoCase(std::wstring_view(next), std::wstring_view(current));
}

std::wstring TrimRequestText(const std::wstring& text) {
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
  std::size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}
