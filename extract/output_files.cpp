#include "extract/output_files.h"

#include "platform/platform.h"

bool fileExists(const char* name) {
  bool isDirectory = false;
  return platformGetFileInfo(name, &isDirectory);
}
