// Small archives of whole entries for the extraction loop's and the console host's
// tests: stored entries, folders, volume labels and sub-blocks, in either header
// format, with the header fields a test wants to bend. Built from the block writers of
// archive_bytes.h.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "tests/support/archive_bytes.h"

namespace testarchive {

struct Entry {
  std::string name;
  Bytes data;                     // the file's contents
  std::optional<Bytes> packed;    // the packed bytes, when they differ from data
  uint32_t attr = 0x20;
  uint16_t flags = 0;             // 0x8000 is added for the new format
  uint8_t unpVer = 20;
  uint8_t method = 0x30;
  uint8_t hostOs = 2;
  uint32_t time = (46u << 25) | (6u << 21) | (15u << 16) | (12u << 11) | (30u << 5);  // 2026-06-15 12:30
  bool wrongChecksum = false;     // store a checksum that does not match data
  std::optional<uint32_t> packSize;  // header packSize instead of the packed length
  std::optional<uint32_t> unpSize;   // header unpSize instead of the data's length
  bool subBlock = false;          // a 0x77 block (with data as its added bytes) instead of an entry
  bool noAddSize = false;         // leave flag 0x8000 off
};

inline Entry file(const std::string& name, const std::string& text) {
  Entry entry;
  entry.name = name;
  entry.data.assign(text.begin(), text.end());
  return entry;
}

inline Entry folder(const std::string& name) {
  Entry entry;
  entry.name = name;
  entry.attr = 0x10;
  entry.flags = 0xE0;
  entry.time = 0;
  return entry;
}

// A stored entry encrypted with password by the cipher that unpVer selects (13 and
// 14: the 1.3 cipher, 15: the 1.5 cipher, 20: the 2.0 block cipher, whose packed size
// is padded to a multiple of 16).
inline Entry encrypted(const std::string& name, const std::string& text, const std::string& password,
                       uint8_t unpVer = 20) {
  Entry entry = file(name, text);
  entry.flags = 0x04;
  entry.unpVer = unpVer;
  Bytes packed = entry.data;
  buildCrcTable();
  initCipher(password.c_str());
  if (unpVer >= 20) {
    packed.resize((packed.size() + 15) / 16 * 16, 0);
    for (size_t offset = 0; offset < packed.size(); offset += 16) encryptBlock20(packed.data() + offset);
  } else if (unpVer == 15) {
    crypt15(packed.data(), packed.size());
  } else {
    encrypt13(packed.data(), packed.size());
  }
  entry.packed = packed;
  return entry;
}

inline uint32_t crcOf(const Bytes& data) {
  buildCrcTable();
  return ~updateCrc32(0xFFFFFFFFu, data.data(), data.size());
}

// A new-format archive: marker, archive header with archiveFlags (0x08 solid), entries.
inline Bytes newArchive(const std::vector<Entry>& entries, uint16_t archiveFlags = 0) {
  Bytes out = markerBytes();
  append(out, archiveHeaderBytes(archiveFlags));
  for (const Entry& entry : entries) {
    const Bytes& packed = entry.packed ? *entry.packed : entry.data;
    uint32_t packSize = entry.packSize ? *entry.packSize : (uint32_t)packed.size();
    uint16_t flags = entry.noAddSize ? entry.flags : (uint16_t)(entry.flags | 0x8000);
    if (entry.subBlock) {
      Bytes block = blockBytes(0x77, flags, 11, packSize);
      block.resize(11);  // the added bytes are the entry's data
      append(out, block);
      append(out, packed);
      continue;
    }
    EntryFields fields;
    fields.name = entry.name;
    fields.data = packed;
    fields.packSize = packSize;
    fields.flags = flags;
    fields.hostOs = entry.hostOs;
    fields.unpSize = entry.unpSize ? *entry.unpSize : (uint32_t)entry.data.size();
    fields.fileCrc = crcOf(entry.data) ^ (entry.wrongChecksum ? 0x5A5A5A5Au : 0);
    fields.fileTime = entry.time;
    fields.unpVer = entry.unpVer;
    fields.method = entry.method;
    fields.fileAttr = entry.attr;
    append(out, fileHeaderBytes(fields));
  }
  return out;
}

// An old-format archive: 7-byte archive header, then 21-byte entry headers.
inline Bytes oldArchive(const std::vector<Entry>& entries, uint8_t archiveFlags = 0) {
  Bytes out = oldArchiveHeaderBytes(archiveFlags);
  for (const Entry& entry : entries) {
    OldEntryFields fields;
    fields.name = entry.name;
    fields.data = entry.packed ? *entry.packed : entry.data;
    if (entry.packSize) fields.packSize = *entry.packSize;
    fields.unpSize = (uint32_t)entry.data.size();
    fields.fileCrc = updateChecksum16(0, entry.data.data(), entry.data.size()) ^ (entry.wrongChecksum ? 0x5A5Au : 0);
    fields.fileTime = entry.time;
    fields.fileAttr = (uint8_t)entry.attr;
    fields.flags = (uint8_t)entry.flags;
    fields.versionCode = entry.unpVer == 13 ? 2 : 1;
    fields.method = (uint8_t)(entry.method - 0x30);
    append(out, oldFileHeaderBytes(fields));
  }
  return out;
}

// An executable-like file with the archive at offset `at` (inside the searched range).
inline Bytes embedded(const Bytes& archive, size_t at = 167936) {
  Bytes out(at, 0);
  out[0] = 'M';
  out[1] = 'Z';
  append(out, archive);
  return out;
}

}  // namespace testarchive
