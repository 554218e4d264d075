// Window placement rules of the shell, kept apart from the window calls so that they
// can be checked on any system.
#pragma once

#include <stdint.h>

struct ScreenRect {
  int32_t left, top, right, bottom;
};

struct MainWindowPlacement {
  uint32_t style;
  int32_t x, y, width, height;
};

enum : uint32_t {
  StylePopup = 0x80000000u,             // WS_POPUP
  StyleDisabled = 0x08000000u,          // WS_DISABLED
  StyleDialogFrame = 0x00400000u,       // WS_DLGFRAME
  StyleOverlappedWindow = 0x00CF0000u   // WS_OVERLAPPEDWINDOW
};
enum : int32_t { UseDefaultPosition = (int32_t)0x80000000 };  // CW_USEDEFAULT

// Where the main window goes. With a picture: a disabled pop-up of the picture's size,
// at most the work area's, centred as if the work area began at the screen origin,
// framed unless the picture covers the work area. Without: an overlapped window at the
// default place (it is never shown).
MainWindowPlacement placeMainWindow(bool hasPicture, int32_t pictureWidth,
                                    int32_t pictureHeight, const ScreenRect& workArea);

// One axis of centreOnWindow: centre `size` over the reference's span, then clamp to
// the screen, the start first: a window larger than the screen ends at 0 only when its
// centred start is negative, else at screen - size (which may be negative).
int32_t centreCoordinate(int32_t referenceStart, int32_t referenceSize, int32_t size,
                         int32_t screenSize);
