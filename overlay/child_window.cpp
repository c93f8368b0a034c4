#include "overlay/child_window.h"

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
