#include "shell/install_paths.h"

#include <string.h>

const char* const companionPatterns[CompanionPatternCount] = {
    "*.txt", "*.wri", "*.doc", "lumvar.ini", "ruvexa.dll", "*.tdx", "*.bmp"};

void dropTrailingBackslash(char* path) {
  size_t length = strlen(path);
  if (length > 0 && path[length - 1] == '\\') path[length - 1] = 0;
}

void upperCaseAscii(char* text) {
  for (; *text; ++text)
    if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
}

int driveNumberOf(const char* path) {
  if (!path[0] || path[1] != ':') return 0;
  const char letter = path[0];
  if (letter >= 'A' && letter <= 'Z') return letter - 'A' + 1;
  if (letter >= 'a' && letter <= 'z') return letter - 'a' + 1;
  return 0;
}

// Copies the parts one after another; nothing but an empty text when they do not fit.
static bool concatenate(const char* first, size_t firstLength, const char* separator,
                        const char* last, char* out, size_t capacity) {
  const size_t separatorLength = strlen(separator);
  const size_t lastLength = strlen(last);
  if (capacity == 0) return false;
  if (firstLength + separatorLength + lastLength >= capacity) {
    out[0] = 0;
    return false;
  }
  memmove(out, first, firstLength);  // first may be out itself
  memcpy(out + firstLength, separator, separatorLength);
  memcpy(out + firstLength + separatorLength, last, lastLength + 1);
  return true;
}

bool joinPath(const char* folder, const char* name, char* out, size_t capacity) {
  return concatenate(folder, strlen(folder), "\\", name, out, capacity);
}

bool besideExecutable(const char* executablePath, const char* name, char* out,
                      size_t capacity) {
  const char* lastSeparator = strrchr(executablePath, '\\');
  const size_t folderLength = lastSeparator ? (size_t)(lastSeparator - executablePath) + 1 : 0;
  return concatenate(executablePath, folderLength, "", name, out, capacity);
}

bool intoDestination(const char* destination, const char* name, char* out, size_t capacity) {
  const size_t length = strlen(destination);
  const bool endsInSeparator = length > 0 && destination[length - 1] == '\\';
  return concatenate(destination, length, endsInSeparator ? "" : "\\", name, out, capacity);
}

bool commandLineArgument(const char* path, char* out, size_t capacity) {
  if (!strpbrk(path, " \t")) return concatenate(path, strlen(path), "", "", out, capacity);
  return concatenate("\"", 1, path, "\"", out, capacity);
}
