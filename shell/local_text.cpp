#include "shell/local_text.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

bool localTextValidated = false;

namespace {
enum : uint32_t {
  HeaderSize = 12,
  LanguageEntrySize = 8,
  StringEntrySize = 12,
  MinimumFormat = 2,
  LanguageMask = 0x3FF,
  FolderCapacity = 260
};

struct TextFileHeader {
  uint32_t format;
  uint32_t languageCount;
  uint32_t checksum;
};

struct LanguageEntry {
  uint32_t languageId;
  uint32_t tableOffset;
};

struct StringEntry {
  uint32_t length;
  uint32_t dataOffset;
};

// Offsets are 32-bit in the file but fseek takes a long, which is 32-bit on Windows.
bool seekTo(FILE* file, uint64_t offset) {
  if (offset > (uint64_t)LONG_MAX) return false;
  return fseek(file, (long)offset, SEEK_SET) == 0;
}

uint32_t littleEndian(const unsigned char* bytes) {
  return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
         (uint32_t)bytes[3] << 24;
}

// Reads count (at most 4) 32-bit numbers at offset; false on a failed seek or a short
// read.
enum { MaxNumbers = 4 };
bool readNumbers(FILE* file, uint64_t offset, uint32_t* numbers, int count) {
  unsigned char bytes[4 * MaxNumbers];
  if (count < 0 || count > MaxNumbers) return false;
  if (!seekTo(file, offset) || fread(bytes, 4, (size_t)count, file) != (size_t)count)
    return false;
  for (int i = 0; i < count; ++i) numbers[i] = littleEndian(bytes + 4 * i);
  return true;
}

bool readHeader(FILE* file, TextFileHeader* header) {
  uint32_t fields[3];
  if (!readNumbers(file, 0, fields, 3)) return false;
  header->format = fields[0];
  header->languageCount = fields[1];
  header->checksum = fields[2];
  return header->format >= MinimumFormat;
}

bool readLanguageEntry(FILE* file, uint32_t index, LanguageEntry* entry) {
  uint32_t fields[2];
  if (!readNumbers(file, HeaderSize + (uint64_t)index * LanguageEntrySize, fields, 2))
    return false;
  entry->languageId = fields[0];
  entry->tableOffset = fields[1];
  return true;
}

// Entry k (from 1) of the table at tableOffset.
bool readStringEntry(FILE* file, uint32_t tableOffset, uint32_t k, StringEntry* entry) {
  uint32_t fields[3];
  const uint64_t offset = (uint64_t)tableOffset + 4 + (uint64_t)(k - 1) * StringEntrySize;
  if (!readNumbers(file, offset, fields, 3)) return false;
  entry->length = fields[1];
  entry->dataOffset = fields[2];
  return true;
}

// The language's entry, else the directory's first.
bool findLanguage(FILE* file, uint32_t languageCount, uint32_t language, LanguageEntry* entry) {
  // Signed, as the file's writers meant it, and wide enough that the most negative
  // count does not wrap around to a search of two billion entries.
  int64_t left = (int32_t)languageCount;
  uint32_t index = 0;
  do {
    --left;
    if (!readLanguageEntry(file, index++, entry)) return false;
  } while (entry->languageId != language && left > 0);
  if (entry->languageId == language) return true;
  return readLanguageEntry(file, 0, entry);
}

bool fileLength(FILE* file, uint64_t* length) {
  if (fseek(file, 0, SEEK_END) != 0) return false;
  const long end = ftell(file);
  if (end < 0) return false;
  *length = (uint64_t)end;
  return true;
}
}  // namespace

uint8_t xorBytes(const uint8_t* bytes, uint32_t count) {
  uint8_t result = bytes[0];
  for (uint32_t i = 1; i < count; ++i) result ^= bytes[i];
  return result;
}

void unscrambleText(char* bytes, uint32_t count) {
  for (uint32_t j = 0; j + 1 < count; ++j) bytes[j] = (char)(bytes[j] ^ (uint8_t)(0x6D + j));
}

int validateLocalTextFile(FILE* file) {
  TextFileHeader header;
  LanguageEntry first;
  uint32_t tableStart[4];  // stringCount, then the first StringEntry
  uint64_t length;
  if (!readHeader(file, &header) || !readLanguageEntry(file, 0, &first) ||
      !readNumbers(file, first.tableOffset, tableStart, 4) || !fileLength(file, &length))
    return 0;
  const uint32_t areaStart = tableStart[3];
  // An empty or negative area would make a zero or huge allocation: refuse the file.
  if (areaStart >= length) return 0;
  const uint64_t size = length - areaStart;
  if (size > (uint64_t)LONG_MAX) return 0;
  uint8_t* area = (uint8_t*)calloc((size_t)size, 1);
  if (!area) return 0;
  const bool read = seekTo(file, areaStart) && fread(area, 1, (size_t)size, file) == size;
  const int matches = read && xorBytes(area, (uint32_t)size) == (uint8_t)header.checksum;
  free(area);
  return matches;
}

int lookupLocalText(FILE* file, uint32_t language, uint32_t entry, char* buffer, int* capacity) {
  if (!localTextValidated) {
    if (!validateLocalTextFile(file)) return 0;
    localTextValidated = true;
  }
  TextFileHeader header;
  LanguageEntry table;
  uint32_t stringCount;
  StringEntry text;
  // Entry 0 would read the table's count as a string entry.
  if (entry == 0 || *capacity < 1) return 0;
  if (!readHeader(file, &header) || !findLanguage(file, header.languageCount, language, &table) ||
      !readNumbers(file, table.tableOffset, &stringCount, 1))
    return 0;
  if (entry > stringCount) return 0;
  if (!readStringEntry(file, table.tableOffset, entry, &text)) return 0;
  uint32_t wanted = text.length;
  if (wanted > (uint32_t)(*capacity - 1)) wanted = (uint32_t)(*capacity - 1);
  if (!seekTo(file, text.dataOffset)) return 0;
  const size_t got = fread(buffer, 1, wanted, file);
  if (ferror(file)) return 0;
  *capacity = (int)got;
  if (got > 0) {
    buffer[got] = 0;
    unscrambleText(buffer, (uint32_t)got);
  }
  return 1;
}

int readLocalText(uint32_t entry, char* buffer, int capacity) {
  const uint32_t language = platformSystemLanguage() & LanguageMask;
  FILE* file = platformOpenFile(LOCAL_TEXT_FILE_NAME, "rb");
  if (!file) {
    char path[FolderCapacity + sizeof "\\" LOCAL_TEXT_FILE_NAME];
    const int folderLength = platformWindowsFolder(path, FolderCapacity);
    if (folderLength <= 0 || folderLength >= (int)FolderCapacity) return 0;
    memcpy(path + folderLength, "\\" LOCAL_TEXT_FILE_NAME, sizeof "\\" LOCAL_TEXT_FILE_NAME);
    file = platformOpenFile(path, "rb");
    if (!file) return 0;
  }
  int size = capacity;
  const int result = lookupLocalText(file, language, entry, buffer, &size);
  fclose(file);
  return result;
}
