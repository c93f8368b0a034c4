#pragma once
// A child's window, decided without the OS: where the overlay and studio windows go and
// what they show before the page paints. The window itself is overlay/child_window_win.h.
#include <cstdint>
#include <string>

struct WindowRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The overlay covers the chart's client area; an empty area falls back to 800 x 600.
[[nodiscard]] WindowRect OverlayRect(int clientWidth, int clientHeight);

// 960 x 720 on screens wider than 1100 / taller than 800, else the screen less 60; centred,
// a negative coordinate becomes 30.
[[nodiscard]] WindowRect StudioRect(int screenWidth, int screenHeight);

struct Rgb {
  std::uint8_t r, g, b;
};
// Only the exact lower-case "light" gets the light background.
[[nodiscard]] Rgb BackgroundForTheme(const std::wstring& theme);
