// Building archive images: the marker or old signature, the archive header, entries,
// other blocks, and their checks.
#include "pack/archive_writer.h"

#include <stdio.h>

#include "archive/checksum.h"
#include "archive/cipher.h"

namespace {

typedef std::vector<uint8_t> Bytes;

enum : uint16_t {
  FlagContinuedFromPrevious = 0x01,
  FlagEncrypted = 0x04,
  FlagSolid = 0x10,
  FlagDirectory = 0xE0,
  FlagHasAddSize = 0x8000
};
enum : uint8_t { StoredMethod = 0x30, EndBlockType = 0x7B };
enum : uint32_t { AttrDirectory = 0x10 };

void put8(Bytes& out, uint32_t value) { out.push_back((uint8_t)value); }
void put16(Bytes& out, uint32_t value) {
  out.push_back((uint8_t)value);
  out.push_back((uint8_t)(value >> 8));
}
void put32(Bytes& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}
void set16(Bytes& out, size_t at, uint32_t value) {
  out[at] = (uint8_t)value;
  out[at + 1] = (uint8_t)(value >> 8);
}
void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Low 16 bits of the CRC-32 of header bytes [from, to) of out.
uint16_t headerCheck(const Bytes& out, size_t from, size_t to) {
  return (uint16_t)~updateCrc32(0xFFFFFFFF, out.data() + from, to - from);
}

uint8_t entryUnpVer(const PackEntry& entry) { return entry.unpVer.value_or(20); }

// The bytes that follow the header: stored data or the encoder's output, encrypted
// when asked.
Bytes packedBytes(const PackEntry& entry, uint8_t cipherVersion) {
  if (entry.directory) return Bytes();
  const Bytes& plain = entry.packed ? *entry.packed : entry.data;
  if (entry.password.empty()) return plain;
  return encryptPacked(plain, entry.password, cipherVersion);
}

uint16_t archiveFlags(const PackArchive& archive) {
  if (archive.archiveFlags) return *archive.archiveFlags;
  uint16_t flags = archive.extraArchiveFlags;
  if (archive.volume) flags |= 0x01;
  if (archive.solid) flags |= 0x08;
  return flags;
}

uint16_t entryFlags(const PackArchive& archive, const PackEntry& entry, bool firstFile) {
  if (entry.flags) return *entry.flags;
  uint16_t flags = entry.extraFlags;
  if (!entry.password.empty()) flags |= FlagEncrypted;
  if (archive.solid && !firstFile && !entry.directory) flags |= FlagSolid;
  if (archive.format == PackFormat::New) {
    flags |= FlagHasAddSize;
    if (entry.directory) flags |= FlagDirectory;
  }
  return flags;
}

uint32_t entryAttributes(const PackEntry& entry) {
  if (entry.directory && entry.attributes == 0x20) return AttrDirectory;
  return entry.attributes;
}

void writeNewHeader(Bytes& out, const PackArchive& archive, const PackEntry& entry, bool firstFile,
                    uint32_t packedSize) {
  size_t start = out.size();
  uint16_t headSize = entry.headSize.value_or(
      (uint16_t)(32 + entry.name.size() + entry.headerPadding));
  put16(out, 0);
  put8(out, 0x74);
  put16(out, entryFlags(archive, entry, firstFile));
  put16(out, headSize);
  put32(out, entry.packSize.value_or(packedSize));
  put32(out, entry.unpSize.value_or(entry.directory ? 0 : (uint32_t)entry.data.size()));
  put8(out, entry.hostOs);
  put32(out, entry.fileCrc.value_or(entry.directory ? 0 : fileChecksum(entry.data)));
  put32(out, entry.dosTime);
  put8(out, entryUnpVer(entry));
  put8(out, entry.method.value_or(entry.packed ? 0x33 : StoredMethod));
  put16(out, entry.nameSize.value_or((uint16_t)entry.name.size()));
  put32(out, entryAttributes(entry));
  out.insert(out.end(), entry.name.begin(), entry.name.end());
  size_t checkedEnd = out.size();
  out.resize(out.size() + entry.headerPadding, 0);
  if (entry.checkCoversPadding) checkedEnd = out.size();
  uint16_t check = entry.headCrc.value_or(headerCheck(out, start + 2, checkedEnd));
  if (entry.breakHeadCrc) check = (uint16_t)~check;
  set16(out, start, check);
}

void writeOldHeader(Bytes& out, const PackArchive& archive, const PackEntry& entry, bool firstFile,
                    uint32_t packedSize) {
  uint16_t checksum = 0;
  if (!entry.directory && !entry.fileCrc) checksum = updateChecksum16(0, entry.data.data(), entry.data.size());
  put32(out, entry.packSize.value_or(packedSize));
  put32(out, entry.unpSize.value_or(entry.directory ? 0 : (uint32_t)entry.data.size()));
  put16(out, entry.fileCrc ? (uint16_t)*entry.fileCrc : checksum);
  put16(out, entry.headSize.value_or((uint16_t)(21 + entry.name.size() + entry.headerPadding)));
  put32(out, entry.dosTime);
  put8(out, entryAttributes(entry));
  put8(out, entryFlags(archive, entry, firstFile));
  put8(out, entry.oldVersionCode);
  put8(out, entry.nameSize.value_or((uint16_t)entry.name.size()));
  put8(out, entry.oldMethod.value_or(entry.method ? (uint8_t)(*entry.method - StoredMethod) : 0));
  out.insert(out.end(), entry.name.begin(), entry.name.end());
  out.resize(out.size() + entry.headerPadding, 0);
}

void writeEntry(Bytes& out, const PackArchive& archive, const PackEntry& entry, bool firstFile) {
  // Old entries only know the 1.3 cipher.
  bool newFormat = archive.format == PackFormat::New;
  Bytes packed = packedBytes(entry, newFormat ? entryUnpVer(entry) : 13);
  if (newFormat)
    writeNewHeader(out, archive, entry, firstFile, (uint32_t)packed.size());
  else
    writeOldHeader(out, archive, entry, firstFile, (uint32_t)packed.size());
  append(out, packed);
}

void writeBlock(Bytes& out, const PackBlock& block) {
  size_t start = out.size();
  uint16_t flags = block.flags;
  if (!block.addData.empty()) flags |= FlagHasAddSize;
  bool hasAddSize = (flags & FlagHasAddSize) != 0;
  uint16_t headSize = block.headSize.value_or(
      (uint16_t)(7 + (hasAddSize ? 4 : 0) + block.headerBody.size()));
  put16(out, 0);
  put8(out, block.headType);
  put16(out, flags);
  put16(out, headSize);
  if (hasAddSize) put32(out, block.addSize.value_or((uint32_t)block.addData.size()));
  append(out, block.headerBody);
  set16(out, start, headerCheck(out, start + 2, out.size()));
  append(out, block.addData);
}

void writeNewArchiveHeader(Bytes& out, const PackArchive& archive) {
  static const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  out.insert(out.end(), marker, marker + 7);
  size_t start = out.size();
  put16(out, 0);
  put8(out, 0x73);
  put16(out, archiveFlags(archive));
  put16(out, archive.archiveHeadSize.value_or((uint16_t)(13 + archive.archiveHeaderExtra.size())));
  put16(out, 0);  // reserved
  put32(out, 0);  // reserved
  // The check covers the fixed part only; what follows it is not checked.
  uint16_t check = headerCheck(out, start + 2, start + 13);
  if (archive.breakArchiveHeadCrc) check = (uint16_t)~check;
  set16(out, start, check);
  append(out, archive.archiveHeaderExtra);
}

void writeOldArchiveHeader(Bytes& out, const PackArchive& archive) {
  static const uint8_t signature[4] = {0x52, 0x45, 0x7E, 0x5E};
  out.insert(out.end(), signature, signature + 4);
  put16(out, archive.archiveHeadSize.value_or((uint16_t)(7 + archive.archiveHeaderExtra.size())));
  put8(out, archiveFlags(archive));
  append(out, archive.archiveHeaderExtra);
}

void writeEndBlock(Bytes& out, uint16_t headSize) {
  size_t start = out.size();
  put16(out, 0);
  put8(out, EndBlockType);
  put16(out, 0);
  put16(out, headSize);
  set16(out, start, headerCheck(out, start + 2, out.size()));
}

}  // namespace

PackEntry storedFile(const std::string& name, const std::vector<uint8_t>& data) {
  PackEntry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

PackEntry storedFile(const std::string& name, const std::string& text) {
  return storedFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

PackEntry folder(const std::string& name) {
  PackEntry entry;
  entry.name = name;
  entry.directory = true;
  entry.attributes = AttrDirectory;
  return entry;
}

PackEntry compressedFile(const std::string& name, const std::vector<uint8_t>& original,
                         const std::vector<uint8_t>& packed, uint8_t unpVer, uint8_t method) {
  PackEntry entry = storedFile(name, original);
  entry.packed = packed;
  entry.unpVer = unpVer;
  entry.method = method;
  return entry;
}

PackEntry compressedFile(const std::string& name, uint32_t unpSize, uint32_t crc32,
                         const std::vector<uint8_t>& packed, uint8_t unpVer, uint8_t method) {
  PackEntry entry = compressedFile(name, std::vector<uint8_t>(), packed, unpVer, method);
  entry.unpSize = unpSize;
  entry.fileCrc = crc32;
  return entry;
}

uint32_t dosTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t)(year - 1980) << 25 | (uint32_t)month << 21 | (uint32_t)day << 16 |
         (uint32_t)hour << 11 | (uint32_t)minute << 5 | (uint32_t)(second / 2);
}

uint32_t fileChecksum(const std::vector<uint8_t>& data) {
  buildCrcTable();
  return ~updateCrc32(0xFFFFFFFF, data.data(), data.size());
}

std::vector<uint8_t> encryptPacked(const std::vector<uint8_t>& packed,
                                   const std::string& password, uint8_t unpVer) {
  buildCrcTable();
  CipherState saved = cipherState;
  char key[128] = {0};
  password.copy(key, sizeof key - 1);
  initCipher(key);
  Bytes out = packed;
  if (unpVer >= 20) {
    out.resize((out.size() + 15) / 16 * 16, 0);
    for (size_t at = 0; at < out.size(); at += 16) encryptBlock20(out.data() + at);
  } else if (unpVer == 15) {
    crypt15(out.data(), out.size());
  } else {
    encrypt13(out.data(), out.size());
  }
  cipherState = saved;
  return out;
}

std::vector<uint8_t> executableStub(size_t size, bool oldFormatMark) {
  Bytes stub(size, 0);
  if (size >= 2) {
    stub[0] = 'M';
    stub[1] = 'Z';
  }
  if (oldFormatMark && size >= 32) {
    stub[28] = 'R';
    stub[29] = 'S';
    stub[30] = 'F';
    stub[31] = 'X';
  }
  return stub;
}

std::vector<uint8_t> buildArchive(const PackArchive& archive) {
  buildCrcTable();
  Bytes out = archiveOpening(archive);
  bool firstFile = true;
  for (const PackItem& item : archive.items) {
    if (const PackEntry* entry = std::get_if<PackEntry>(&item)) {
      writeEntry(out, archive, *entry, firstFile);
      if (!entry->directory) firstFile = false;
    } else if (const PackBlock* block = std::get_if<PackBlock>(&item)) {
      writeBlock(out, *block);
    } else {
      append(out, std::get<PackRaw>(item).bytes);
    }
  }
  append(out, archiveClosing(archive));
  return out;
}

std::vector<uint8_t> archiveOpening(const PackArchive& archive) {
  Bytes out = archive.prefix;
  if (archive.format == PackFormat::New)
    writeNewArchiveHeader(out, archive);
  else
    writeOldArchiveHeader(out, archive);
  return out;
}

std::vector<uint8_t> entryHeader(const PackArchive& archive, const PackEntry& entry, bool firstFile,
                                 uint32_t packedSize) {
  buildCrcTable();
  Bytes out;
  if (archive.format == PackFormat::New)
    writeNewHeader(out, archive, entry, firstFile, packedSize);
  else
    writeOldHeader(out, archive, entry, firstFile, packedSize);
  return out;
}

std::vector<uint8_t> archiveClosing(const PackArchive& archive) {
  Bytes out;
  if (archive.endBlockHeadSize) writeEndBlock(out, *archive.endBlockHeadSize);
  append(out, archive.trailer);
  return out;
}

bool writeArchiveFile(const PackArchive& archive, const std::string& path) {
  Bytes bytes = buildArchive(archive);
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}
