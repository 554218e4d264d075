// Placeholder installer entry until the shell lands: links the engine and ends.
#include <windows.h>

#include "extract/session.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  resetSession();
  return 0;
}
