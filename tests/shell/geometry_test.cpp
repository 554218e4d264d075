// Placement of the main window and of the dialogs over their owners.
#include <gtest/gtest.h>

#include "shell/geometry.h"

namespace {
const ScreenRect screen = {0, 0, 1024, 768};

TEST(MainWindowPlacement, PictureLargerThanTheWorkAreaFillsItWithoutBorder) {
  const MainWindowPlacement p = placeMainWindow(true, 2000, 1500, screen);
  EXPECT_EQ(p.style, StylePopup | StyleDisabled);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.width, 1024);
  EXPECT_EQ(p.height, 768);
}

TEST(MainWindowPlacement, PictureExactlyTheWorkAreaHasNoBorder) {
  EXPECT_EQ(placeMainWindow(true, 1024, 768, screen).style, StylePopup | StyleDisabled);
}

TEST(MainWindowPlacement, PictureSmallerInOneDirectionGetsAFrameAndIsCentred) {
  const MainWindowPlacement p = placeMainWindow(true, 2000, 301, screen);
  EXPECT_EQ(p.style, StylePopup | StyleDisabled | StyleDialogFrame);
  EXPECT_EQ(p.width, 1024);
  EXPECT_EQ(p.height, 301);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, (768 - 301) / 2);
}

TEST(MainWindowPlacement, WorkAreaOffsetIsNotAdded) {
  // A task bar of 40 pixels at the left and 30 at the top.
  const MainWindowPlacement p = placeMainWindow(true, 400, 300, ScreenRect{40, 30, 1024, 768});
  EXPECT_EQ(p.x, (984 - 400) / 2);
  EXPECT_EQ(p.y, (738 - 300) / 2);
}

TEST(MainWindowPlacement, WithoutPictureAnOverlappedWindowAtTheDefaultPlace) {
  const MainWindowPlacement p = placeMainWindow(false, 0, 0, screen);
  EXPECT_EQ(p.style, StyleOverlappedWindow);
  EXPECT_EQ(p.x, UseDefaultPosition);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.width, UseDefaultPosition);
  EXPECT_EQ(p.height, 0);
}

TEST(CentreOnWindow, CentresOverTheReference) {
  EXPECT_EQ(centreCoordinate(100, 400, 200, 1024), 200);
  // Odd differences truncate toward zero, also when negative before the clamp.
  EXPECT_EQ(centreCoordinate(100, 401, 200, 1024), 200);
  EXPECT_EQ(centreCoordinate(10, 1, 4, 1024), 9);
}

TEST(CentreOnWindow, NearTheRightEdgeIsPushedBack) {
  EXPECT_EQ(centreCoordinate(900, 200, 300, 1024), 1024 - 300);
}

TEST(CentreOnWindow, LeftOfTheScreenStartsAtZero) {
  EXPECT_EQ(centreCoordinate(-200, 100, 300, 1024), 0);
}

TEST(CentreOnWindow, WiderThanTheScreenClampsTheStartFirst) {
  // Centred start negative: 0, although the window then overhangs the right edge.
  EXPECT_EQ(centreCoordinate(0, 100, 2000, 1024), 0);
  // Centred start positive: screen - size, which is negative.
  EXPECT_EQ(centreCoordinate(1000, 2400, 2000, 1024), 1024 - 2000);
}
}  // namespace
