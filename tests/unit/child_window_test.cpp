#include "overlay/child_window.h"

#include <gtest/gtest.h>

namespace {

TEST(OverlayGeometry, EmptyChartAreaFallsBackTo800By600) {
  const WindowRect r = OverlayRect(0, -4);
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.height, 600);
  EXPECT_EQ(OverlayRect(1280, 0).width, 1280);
  EXPECT_EQ(OverlayRect(1280, 0).height, 600);
}

TEST(OverlayGeometry, StudioWindowSizeAndCentring) {
  const WindowRect small = StudioRect(1024, 768);
  EXPECT_EQ(small.width, 964);
  EXPECT_EQ(small.height, 708);
  EXPECT_EQ(small.x, 30);
  EXPECT_EQ(small.y, 30);
  const WindowRect big = StudioRect(1920, 1080);
  EXPECT_EQ(big.width, 960);
  EXPECT_EQ(big.height, 720);
  EXPECT_EQ(big.x, 480);
  EXPECT_EQ(big.y, 180);
  const WindowRect tiny = StudioRect(40, 30);  // negative size would centre off screen
  EXPECT_EQ(tiny.x, 30);
  EXPECT_EQ(tiny.y, 30);
}

TEST(OverlayLook, OnlyExactLightThemeIsLight) {
  EXPECT_EQ(BackgroundForTheme(L"light").r, 245);
  EXPECT_EQ(BackgroundForTheme(L"Light").r, 14);
  EXPECT_EQ(BackgroundForTheme(L"dark").b, 28);
}

}  // namespace
