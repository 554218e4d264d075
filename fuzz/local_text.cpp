// The installer's localised text file reader on arbitrary files: the checksum check
// and the lookup of an entry for a language, with a buffer of any capacity.
//
// Input: byte 0 the language (0: the first language's id in the file, else that byte),
// byte 1 the entry, byte 2 the buffer capacity; the rest is the file.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "shell/local_text.h"

// The platform calls of the reader that only readLocalText uses.
uint32_t platformSystemLanguage() { return 0x409; }
int platformWindowsFolder(char*, int) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchFolder() + "/lmvtid.tdx";
  if (size < 3) return 0;
  writeScratchFile(path, data + 3, size - 3);
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) abort();

  uint32_t language = data[0];
  if (language == 0 && size >= 3 + 16)
    language = (uint32_t)data[15] | (uint32_t)data[16] << 8 | (uint32_t)data[17] << 16 |
               (uint32_t)data[18] << 24;
  int capacity = data[2];
  // Exactly the capacity asked for, so a write past it shows.
  std::vector<char> buffer((size_t)(capacity > 0 ? capacity : 1), 'x');
  localTextValidated = false;
  int stored = capacity;
  int result = lookupLocalText(file, language, data[1], buffer.data(), &stored);
  if (result == 1 && stored > 0 && (stored >= capacity || buffer[(size_t)stored] != 0)) {
    fprintf(stderr, "fuzz: %d bytes delivered into a buffer of %d\n", stored, capacity);
    abort();
  }
  // A second lookup runs without the check, as later lookups of the process do.
  stored = capacity;
  lookupLocalText(file, language, (uint32_t)data[1] + 1, buffer.data(), &stored);
  fclose(file);
  return 0;
}
