// Small archives written byte by byte for the tests: marker, archive headers, file
// headers with correct or deliberately broken header checks, other blocks, and the old
// header generation.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

void put16(Bytes& out, uint32_t value);
void put32(Bytes& out, uint32_t value);
void append(Bytes& out, const Bytes& more);

Bytes markerBytes();
// headSize above 13 adds zero bytes after the fixed part (not covered by the check).
Bytes archiveHeaderBytes(uint16_t flags, uint16_t headSize = 13, bool breakCheck = false);

struct EntryFields {
  std::string name = "file.txt";
  Bytes data;                 // the packed data written after the header
  uint32_t packSize = 0xFFFFFFFF;  // 0xFFFFFFFF: the size of data
  uint16_t flags = 0x8000;
  uint8_t hostOs = 2;
  uint32_t unpSize = 0xFFFFFFFF;  // 0xFFFFFFFF: the size of data
  uint32_t fileCrc = 0;
  uint32_t fileTime = 0;
  uint8_t unpVer = 20;
  uint8_t method = 0x30;
  uint32_t fileAttr = 0x20;
  int extraHeaderBytes = 0;   // bytes between the name and headSize
  bool breakCheck = false;    // store a wrong header check
};
// A new-format file header over the whole header (extra bytes included), then data.
Bytes fileHeaderBytes(const EntryFields& fields);
// A block of any type: the 7 common bytes, addSize when flags has 0x8000, zero filler
// up to headSize, then addSize data bytes.
Bytes blockBytes(uint8_t type, uint16_t flags, uint16_t headSize, uint32_t addSize = 0);

Bytes oldArchiveHeaderBytes(uint8_t flags, uint16_t headSize = 7);
struct OldEntryFields {
  std::string name = "OLD.TXT";
  Bytes data;                      // the packed data written after the header
  uint32_t packSize = 0xFFFFFFFF;  // 0xFFFFFFFF: the size of data
  uint32_t unpSize = 0xFFFFFFFF;   // 0xFFFFFFFF: the size of data
  uint8_t flags = 0;
  uint8_t versionCode = 2;
  uint8_t method = 0;
  uint8_t fileAttr = 0x20;
  uint16_t fileCrc = 0;
  uint32_t fileTime = 0;
  int headSize = -1;  // -1: 21 + name length
  int nameSize = -1;  // -1: the name's length
};
Bytes oldFileHeaderBytes(const OldEntryFields& fields);
