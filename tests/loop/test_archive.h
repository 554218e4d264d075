// Small archives assembled byte by byte for the extraction loop's tests: stored
// entries, folders, volume labels and sub-blocks, in either header format, with the
// header fields a test wants to bend.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"

namespace testarchive {

typedef std::vector<uint8_t> Bytes;

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

inline void put16(Bytes& out, uint32_t value) {
  out.push_back((uint8_t)value);
  out.push_back((uint8_t)(value >> 8));
}

inline void put32(Bytes& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

inline uint32_t crcOf(const Bytes& data) {
  buildCrcTable();
  return ~updateCrc32(0xFFFFFFFFu, data.data(), data.size());
}

// Stores the header check over the header bytes from offset 2 on.
inline void sealHeader(Bytes& out, size_t start) {
  buildCrcTable();
  uint32_t crc = ~updateCrc32(0xFFFFFFFFu, out.data() + start + 2, out.size() - start - 2);
  out[start] = (uint8_t)crc;
  out[start + 1] = (uint8_t)(crc >> 8);
}

// A new-format archive: marker, archive header with archiveFlags (0x08 solid), entries.
inline Bytes newArchive(const std::vector<Entry>& entries, uint16_t archiveFlags = 0) {
  Bytes out = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  size_t start = out.size();
  put16(out, 0);
  out.push_back(0x73);
  put16(out, archiveFlags);
  put16(out, 13);
  put16(out, 0);
  put32(out, 0);
  sealHeader(out, start);

  for (const Entry& entry : entries) {
    const Bytes& packed = entry.packed ? *entry.packed : entry.data;
    uint32_t packSize = entry.packSize ? *entry.packSize : (uint32_t)packed.size();
    uint16_t flags = entry.noAddSize ? entry.flags : (uint16_t)(entry.flags | 0x8000);
    start = out.size();
    if (entry.subBlock) {
      put16(out, 0);
      out.push_back(0x77);
      put16(out, flags);
      put16(out, 11);
      put32(out, packSize);
    } else {
      put16(out, 0);
      out.push_back(0x74);
      put16(out, flags);
      put16(out, (uint32_t)(32 + entry.name.size()));
      put32(out, packSize);
      put32(out, (uint32_t)entry.data.size());
      out.push_back(entry.hostOs);
      put32(out, crcOf(entry.data) ^ (entry.wrongChecksum ? 0x5A5A5A5Au : 0));
      put32(out, entry.time);
      out.push_back(entry.unpVer);
      out.push_back(entry.method);
      put16(out, (uint32_t)entry.name.size());
      put32(out, entry.attr);
      out.insert(out.end(), entry.name.begin(), entry.name.end());
    }
    sealHeader(out, start);
    out.insert(out.end(), packed.begin(), packed.end());
  }
  return out;
}

// An old-format archive: 7-byte archive header, then 21-byte entry headers.
inline Bytes oldArchive(const std::vector<Entry>& entries, uint8_t archiveFlags = 0) {
  Bytes out = {0x52, 0x45, 0x7E, 0x5E};
  put16(out, 7);
  out.push_back(archiveFlags);
  for (const Entry& entry : entries) {
    const Bytes& packed = entry.packed ? *entry.packed : entry.data;
    uint16_t checksum = updateChecksum16(0, entry.data.data(), entry.data.size());
    put32(out, entry.packSize ? *entry.packSize : (uint32_t)packed.size());
    put32(out, (uint32_t)entry.data.size());
    put16(out, checksum ^ (entry.wrongChecksum ? 0x5A5Au : 0));
    put16(out, (uint32_t)(21 + entry.name.size()));
    put32(out, entry.time);
    out.push_back((uint8_t)entry.attr);
    out.push_back((uint8_t)entry.flags);
    out.push_back(entry.unpVer == 13 ? 2 : 1);
    out.push_back((uint8_t)entry.name.size());
    out.push_back((uint8_t)(entry.method - 0x30));
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    out.insert(out.end(), packed.begin(), packed.end());
  }
  return out;
}

// An executable-like file with the archive at offset `at` (inside the searched range).
inline Bytes embedded(const Bytes& archive, size_t at = 167936) {
  Bytes out(at, 0);
  out[0] = 'M';
  out[1] = 'Z';
  out.insert(out.end(), archive.begin(), archive.end());
  return out;
}

}  // namespace testarchive
