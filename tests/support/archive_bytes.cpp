#include "tests/support/archive_bytes.h"

#include "archive/checksum.h"

void put16(Bytes& out, uint32_t value) {
  out.push_back((unsigned char)value);
  out.push_back((unsigned char)(value >> 8));
}

void put32(Bytes& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes markerBytes() { return {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}; }

// Stores the low 16 bits of the complemented CRC-32 of header[2..checked) at offset 0.
static void sealHeader(Bytes& header, size_t checked, bool breakCheck) {
  buildCrcTable();
  uint32_t crc = ~updateCrc32(0xFFFFFFFFu, header.data() + 2, checked - 2);
  if (breakCheck) crc ^= 0x5A5A;
  header[0] = (unsigned char)crc;
  header[1] = (unsigned char)(crc >> 8);
}

Bytes archiveHeaderBytes(uint16_t flags, uint16_t headSize, bool breakCheck) {
  Bytes header;
  put16(header, 0);
  header.push_back(0x73);
  put16(header, flags);
  put16(header, headSize);
  put16(header, 0);
  put32(header, 0);
  sealHeader(header, 13, breakCheck);
  while (header.size() < headSize) header.push_back(0);
  return header;
}

Bytes fileHeaderBytes(const EntryFields& fields) {
  Bytes header;
  put16(header, 0);
  header.push_back(0x74);
  put16(header, fields.flags);
  put16(header, (uint32_t)(32 + fields.name.size() + fields.extraHeaderBytes));
  put32(header, fields.packSize == 0xFFFFFFFF ? (uint32_t)fields.data.size() : fields.packSize);
  put32(header, fields.unpSize == 0xFFFFFFFF ? (uint32_t)fields.data.size() : fields.unpSize);
  header.push_back(fields.hostOs);
  put32(header, fields.fileCrc);
  put32(header, fields.fileTime);
  header.push_back(fields.unpVer);
  header.push_back(fields.method);
  put16(header, (uint32_t)fields.name.size());
  put32(header, fields.fileAttr);
  header.insert(header.end(), fields.name.begin(), fields.name.end());
  for (int i = 0; i < fields.extraHeaderBytes; i++) header.push_back((unsigned char)(0xA0 + i));
  sealHeader(header, header.size(), fields.breakCheck);
  append(header, fields.data);
  return header;
}

Bytes blockBytes(uint8_t type, uint16_t flags, uint16_t headSize, uint32_t addSize) {
  Bytes block;
  put16(block, 0);
  block.push_back(type);
  put16(block, flags);
  put16(block, headSize);
  if (flags & 0x8000) put32(block, addSize);
  while (block.size() < headSize) block.push_back(0);
  if (headSize >= 7) sealHeader(block, headSize, false);
  if (flags & 0x8000) block.insert(block.end(), addSize, 0xEE);
  return block;
}

Bytes oldArchiveHeaderBytes(uint8_t flags, uint16_t headSize) {
  Bytes header = {0x52, 0x45, 0x7E, 0x5E};
  put16(header, headSize);
  header.push_back(flags);
  while (header.size() < headSize) header.push_back(0);
  return header;
}

Bytes oldFileHeaderBytes(const OldEntryFields& fields) {
  Bytes header;
  put32(header, fields.packSize == 0xFFFFFFFF ? (uint32_t)fields.data.size() : fields.packSize);
  put32(header, fields.unpSize == 0xFFFFFFFF ? (uint32_t)fields.data.size() : fields.unpSize);
  put16(header, fields.fileCrc);
  put16(header, fields.headSize < 0 ? (uint32_t)(21 + fields.name.size()) : (uint32_t)fields.headSize);
  put32(header, fields.fileTime);
  header.push_back(fields.fileAttr);
  header.push_back(fields.flags);
  header.push_back(fields.versionCode);
  header.push_back(fields.nameSize < 0 ? (unsigned char)fields.name.size() : (unsigned char)fields.nameSize);
  header.push_back(fields.method);
  header.insert(header.end(), fields.name.begin(), fields.name.end());
  append(header, fields.data);
  return header;
}
