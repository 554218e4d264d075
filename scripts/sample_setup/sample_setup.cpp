// The sample payload's setup program: the installer starts it once the files are in
// place, and it says where they are.
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return 1;
  char* slash = strrchr(folder, '\\');
  if (slash != nullptr) *slash = 0;
  char text[MAX_PATH + 64];
  wsprintfA(text, "The Lumvard sample is installed in %s.", folder);
  MessageBoxA(nullptr, text, "Lumvard sample", MB_OK | MB_ICONINFORMATION);
  return 0;
}
