#include "shell/geometry.h"

MainWindowPlacement placeMainWindow(bool hasPicture, int32_t pictureWidth,
                                    int32_t pictureHeight, const ScreenRect& workArea) {
  MainWindowPlacement placement;
  if (!hasPicture) {
    placement.style = StyleOverlappedWindow;
    placement.x = UseDefaultPosition;
    placement.y = 0;
    placement.width = UseDefaultPosition;
    placement.height = 0;
    return placement;
  }
  const int32_t areaWidth = workArea.right - workArea.left;
  const int32_t areaHeight = workArea.bottom - workArea.top;
  placement.style = StylePopup | StyleDisabled;
  placement.width = pictureWidth < areaWidth ? pictureWidth : areaWidth;
  placement.height = pictureHeight < areaHeight ? pictureHeight : areaHeight;
  // The work area's left and top are deliberately not added.
  placement.x = (areaWidth - placement.width) / 2;
  placement.y = (areaHeight - placement.height) / 2;
  if (pictureWidth < areaWidth || pictureHeight < areaHeight) placement.style |= StyleDialogFrame;
  return placement;
}

int32_t centreCoordinate(int32_t referenceStart, int32_t referenceSize, int32_t size,
                         int32_t screenSize) {
  int32_t position = referenceStart + (referenceSize - size) / 2;
  if (position < 0)
    position = 0;
  else if (position + size > screenSize)
    position = screenSize - size;
  return position;
}
