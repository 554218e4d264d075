// A stand-in for the product's setup program in the installer's tests under Wine: it
// records how it was started in "started.txt" in its working directory, one item a
// line: the command line, the working directory, the argument count and argument 0
// as the run-time library splits the command line.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH];
  folder[0] = 0;
  GetCurrentDirectoryA(sizeof folder, folder);
  FILE* file = fopen("started.txt", "w");
  if (!file) return 1;
  fprintf(file, "%s\n%s\n%d\n%s\n", GetCommandLineA(), folder, __argc,
          __argc > 0 ? __argv[0] : "");
  return fclose(file) == 0 ? 0 : 1;
}
