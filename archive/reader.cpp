// Finds the archive in the open archive file and walks its block headers, for both
// header generations.
#include "archive/reader.h"

#include <stdlib.h>
#include <string.h>

#include "archive/checksum.h"
#include "extract/session.h"

enum {
  MarkerSize = 7,
  OldArchiveHeaderSize = 7,
  OldFileHeaderSize = 21,
  NewArchiveHeaderSize = 13,
  NewFileHeaderSize = 32,
  SearchStart = 0x18000,  // the window searched for an embedded archive
  SearchSize = 0x18000,
  MaxNameSize = PathCapacity - 1
};

static const unsigned char newMarker[MarkerSize] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
static const unsigned char oldSignature[4] = {0x52, 0x45, 0x7E, 0x5E};
static const unsigned char selfExtractorTag[4] = {0x52, 0x53, 0x46, 0x58};

static uint16_t get16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }

static uint32_t get32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int32_t filePosition() { return (int32_t)ftell(archiveReader.archiveFile); }

static void seekTo(int32_t position) { seekArchiveFile((long)position); }

void seekArchiveFile(long position) {
  FILE* file = archiveReader.archiveFile;
  if (file == nullptr) return;
  // The C library asks the system even for a seek to where the file already stands,
  // which is where the next block starts after an entry's data was read: one call per
  // entry. A file at its end is still sent through fseek, which clears that state.
  if (!feof(file) && ftell(file) == position) return;
  fseek(file, position, SEEK_SET);
}

static int32_t fileLength() {
  FILE* file = archiveReader.archiveFile;
  long here = ftell(file);
  fseek(file, 0, SEEK_END);
  long length = ftell(file);
  fseek(file, here, SEEK_SET);
  return (int32_t)length;
}

// The old file header's own fields, kept only while one header is converted.
struct OldFileHeader {
  uint32_t packSize;
  uint32_t unpSize;
  uint16_t fileCrc;
  uint16_t headSize;
  uint32_t fileTime;
  uint8_t fileAttr;
  uint8_t flags;
  uint8_t versionCode;
  uint8_t nameSize;
  uint8_t method;
};

static void decodeNewArchiveHeader(const unsigned char* b) {
  ArchiveHeader& header = archiveReader.archiveHeader;
  header.headCrc = get16(b);
  header.headType = b[2];
  header.flags = get16(b + 3);
  header.headSize = get16(b + 5);
  header.reserved1 = get16(b + 7);
  header.reserved2 = get32(b + 9);
}

static void decodeNewFileHeader(const unsigned char* b) {
  FileEntry& entry = archiveReader.entry;
  entry.headCrc = get16(b);
  entry.headType = b[2];
  entry.flags = get16(b + 3);
  entry.headSize = get16(b + 5);
  entry.packSize = get32(b + 7);
  entry.unpSize = get32(b + 11);
  entry.hostOs = b[15];
  entry.fileCrc = get32(b + 16);
  entry.fileTime = get32(b + 20);
  entry.unpVer = b[24];
  entry.method = b[25];
  entry.nameSize = get16(b + 26);
  entry.fileAttr = get32(b + 28);
}

static void decodeOldFileHeader(const unsigned char* b, OldFileHeader* old) {
  old->packSize = get32(b);
  old->unpSize = get32(b + 4);
  old->fileCrc = get16(b + 8);
  old->headSize = get16(b + 10);
  old->fileTime = get32(b + 12);
  old->fileAttr = b[16];
  old->flags = b[17];
  old->versionCode = b[18];
  old->nameSize = b[19];
  old->method = b[20];
}

// Reads the fixed part of an archive header (0x73) or file header (0x74) of the
// current format into bytes (zeroed first, so bytes the file did not have read as 0).
// In the new format the header check is started over the bytes after the check field.
// Returns the number of bytes read.
static int32_t readFixedHeader(uint8_t type, unsigned char* bytes) {
  int32_t size;
  if (archiveReader.format == FormatOld)
    size = type == ArchiveHeaderBlock ? OldArchiveHeaderSize : OldFileHeaderSize;
  else
    size = type == ArchiveHeaderBlock ? NewArchiveHeaderSize : NewFileHeaderSize;
  memset(bytes, 0, (size_t)size);
  int32_t got = (int32_t)fread(bytes, 1, (size_t)size, archiveReader.archiveFile);
  if (archiveReader.format == FormatNew)
    archiveReader.headerCrcAcc = updateCrc32(0xFFFFFFFFu, bytes + 2, (size_t)(size - 2));
  return got;
}

static void readOldArchiveHeader() {
  unsigned char bytes[OldArchiveHeaderSize];
  readFixedHeader(ArchiveHeaderBlock, bytes);
  ArchiveHeader& header = archiveReader.archiveHeader;
  header.headType = ArchiveHeaderBlock;
  header.headSize = get16(bytes + 4);
  header.flags = bytes[6];
}

static int32_t readNewArchiveHeader() {
  unsigned char bytes[NewArchiveHeaderSize];
  int32_t got = readFixedHeader(ArchiveHeaderBlock, bytes);
  decodeNewArchiveHeader(bytes);
  return got;
}

static int volumeOr(int otherwise) {
  return (archiveReader.archiveHeader.flags & ArchiveVolume) ? VolumeArchive : otherwise;
}

// Looks for an archive inside another file (a self-extracting executable) in the
// window of file offsets 98,304 to 196,607. Sets format, kind and embeddedOffset when
// one is found.
static void searchEmbeddedArchive() {
  FILE* file = archiveReader.archiveFile;
  archiveReader.searchBuffer = (unsigned char*)malloc(SearchSize);
  if (archiveReader.searchBuffer == nullptr) fatalError(MemoryError, ExitMemory);
  unsigned char* buffer = archiveReader.searchBuffer;

  // An embedded old-format archive counts only in a module tagged at offset 28.
  unsigned char tag[4] = {0, 0, 0, 0};
  fseek(file, 28, SEEK_SET);
  bool tagged = fread(tag, 1, 4, file) == 4 && memcmp(tag, selfExtractorTag, 4) == 0;

  fseek(file, SearchStart, SEEK_SET);
  int32_t base = filePosition();
  size_t n = fread(buffer, 1, SearchSize, file);

  for (size_t p = 0; archiveReader.kind == NotArchive && p < n; p++) {
    const unsigned char* hit = (const unsigned char*)memchr(buffer + p, 0x52, n - p);
    if (hit == nullptr) break;
    p = (size_t)(hit - buffer);
    if (tagged && p + 4 <= n && memcmp(hit, oldSignature, 4) == 0) {
      archiveReader.format = FormatOld;
      archiveReader.embeddedOffset = base + (int32_t)p;
      seekTo(archiveReader.embeddedOffset);
      readOldArchiveHeader();
      archiveReader.kind = volumeOr(EmbeddedArchive);
    } else if (p + 10 <= n && memcmp(hit, newMarker, MarkerSize) == 0 &&
               hit[9] == ArchiveHeaderBlock) {
      archiveReader.format = FormatNew;
      archiveReader.embeddedOffset = base + (int32_t)p;
      seekTo(archiveReader.embeddedOffset + MarkerSize);
      readNewArchiveHeader();
      archiveReader.kind = volumeOr(EmbeddedArchive);
    }
  }

  free(archiveReader.searchBuffer);
  archiveReader.searchBuffer = nullptr;
}

int identifyArchive() {
  archiveReader.format = FormatNone;
  archiveReader.kind = NotArchive;
  archiveReader.embeddedOffset = 0;
  archiveReader.solidArchive = false;
  memset(&archiveReader.archiveHeader, 0, sizeof archiveReader.archiveHeader);

  unsigned char start[MarkerSize];
  if (fread(start, 1, MarkerSize, archiveReader.archiveFile) < MarkerSize) return NotArchive;

  if (memcmp(start, oldSignature, 4) == 0) {
    archiveReader.format = FormatOld;
    seekTo(0);
    readOldArchiveHeader();
    archiveReader.kind = volumeOr(PlainArchive);
  } else if (memcmp(start, newMarker, MarkerSize) == 0) {
    archiveReader.format = FormatNew;
    if (readNewArchiveHeader() < NewArchiveHeaderSize) {
      archiveReader.format = FormatNone;
      return NotArchive;
    }
    archiveReader.kind = volumeOr(PlainArchive);
  } else {
    searchEmbeddedArchive();
    if (archiveReader.kind == NotArchive) return NotArchive;
  }

  ArchiveHeader& header = archiveReader.archiveHeader;
  if (archiveReader.format == FormatOld) {
    archiveReader.archiveHeaderRead = OldArchiveHeaderSize;
    header.flags &= 0x3F;
  } else {
    archiveReader.archiveHeaderRead = NewArchiveHeaderSize;
    if (header.headCrc != (uint16_t)~archiveReader.headerCrcAcc) showMessageId(TargetBox, 24);
  }
  archiveReader.solidArchive = (header.flags & ArchiveSolid) != 0;
  return archiveReader.kind;
}

// Gives every entry the attributes of this system's hosts and backslash separators.
static void normaliseEntry() {
  FileEntry& entry = archiveReader.entry;
  if (entry.hostOs > 3) {
    entry.hostOs = 0;
    entry.fileAttr = (entry.flags & EntryDictionaryMask) == EntryDictionaryMask ? AttrDirectory
                                                                                   : AttrArchive;
  }
  for (char* p = archiveReader.fileName; *p != 0; p++)
    if (*p == '/') *p = '\\';
}

// No further entry can be read: the previous entry stays current, the file goes back to
// where the failed header started, and the current block reads as type 0 (never as a
// sub-block, which would send the caller back to the same place for ever).
static int32_t endOfWalk(const FileEntry& saved) {
  archiveReader.entry = saved;
  memset(&archiveReader.block, 0, sizeof archiveReader.block);
  seekTo(archiveReader.curBlockPos);
  return 0;
}

// The end of the block that starts at curBlockPos, with 32-bit wrap-around.
static int32_t blockEnd(uint32_t length) {
  return (int32_t)((uint32_t)archiveReader.curBlockPos + length);
}

// Reads the name of the file entry just decoded and checks the header.
static int32_t readEntryName(int32_t n) {
  FileEntry& entry = archiveReader.entry;
  if (entry.nameSize > MaxNameSize) entry.nameSize = MaxNameSize;
  size_t got = fread(archiveReader.fileName, 1, entry.nameSize, archiveReader.archiveFile);
  archiveReader.fileName[got] = 0;
  if (archiveReader.format == FormatNew) {
    uint32_t crc = updateCrc32(archiveReader.headerCrcAcc, archiveReader.fileName, got);
    if (got < entry.nameSize || entry.headCrc != (uint16_t)~crc)
      showMessageId(TargetStatus, 39, archiveReader.fileName);
  }
  normaliseEntry();
  return n + (int32_t)got;
}

// The block just read: handed back as a file entry or a sub-block.
static int32_t commonTail(int32_t n, const FileEntry& saved) {
  FileEntry& entry = archiveReader.entry;
  BlockHeader& block = archiveReader.block;
  block.headCrc = entry.headCrc;
  block.headType = entry.headType;
  block.flags = entry.flags;
  block.headSize = entry.headSize;
  block.addSize = entry.packSize;
  if (entry.headType == FileBlock) return readEntryName(n);
  archiveReader.entry = saved;
  seekTo(archiveReader.curBlockPos);
  return n;
}

// The bytes a block's fixed header must have for its fields to be known.
static int32_t headerNeeded(const FileEntry& entry) {
  if (entry.headType == FileBlock) return NewFileHeaderSize;
  return (entry.flags & EntryHasAddSize) ? 11 : 7;
}

static int32_t readNextNewBlock() {
  FileEntry saved = archiveReader.entry;
  unsigned char bytes[NewFileHeaderSize];
  for (;;) {
    archiveReader.curBlockPos = filePosition();
    int32_t n = readFixedHeader(FileBlock, bytes);
    decodeNewFileHeader(bytes);
    FileEntry& entry = archiveReader.entry;
    // A header cut short by the end of the file ends the walk like one not read at all,
    // and says so: whatever it described is lost. Blocks other than file entries may be
    // shorter than a file header's fixed part (a 7-byte end block closes many
    // archives): theirs is complete once the common fields are.
    if (n < headerNeeded(entry)) {
      if (n > 0 || fileLength() < archiveReader.nextBlockPos) showMessageId(TargetStatus, 40);
      return endOfWalk(saved);
    }
    if (entry.headSize < 7) return endOfWalk(saved);
    uint32_t length = entry.headSize;
    if (entry.flags & EntryHasAddSize) length += entry.packSize;
    archiveReader.nextBlockPos = blockEnd(length);
    if (archiveReader.nextBlockPos <= archiveReader.curBlockPos) return endOfWalk(saved);
    if (entry.headType == FileBlock || entry.headType == SubBlock) return commonTail(n, saved);
    seekTo(archiveReader.nextBlockPos);
  }
}

static int32_t readNextOldBlock() {
  FileEntry saved = archiveReader.entry;
  unsigned char bytes[OldFileHeaderSize];
  archiveReader.curBlockPos = filePosition();
  int32_t n = readFixedHeader(FileBlock, bytes);
  if (n < OldFileHeaderSize) return endOfWalk(saved);

  OldFileHeader old;
  decodeOldFileHeader(bytes, &old);
  if (old.method > 7 || old.nameSize == 0 || old.nameSize > 80 || old.versionCode == 0 ||
      old.versionCode > 20 || old.headSize <= OldFileHeaderSize ||
      (old.flags < 8 && old.headSize != old.nameSize + OldFileHeaderSize))
    return endOfWalk(saved);

  FileEntry& entry = archiveReader.entry;
  entry.headType = FileBlock;
  entry.headSize = old.headSize;
  entry.packSize = old.packSize;
  entry.unpSize = old.unpSize;
  entry.fileTime = old.fileTime;
  entry.nameSize = old.nameSize;
  entry.flags = (uint16_t)(old.flags | EntryHasAddSize);
  entry.unpVer = old.versionCode == 2 ? 13 : 10;
  entry.method = (uint8_t)(0x30 + old.method);
  entry.fileAttr = old.fileAttr;
  entry.fileCrc = old.fileCrc;

  // A next block that does not lie after this header would make the walk read the
  // same headers for ever.
  archiveReader.nextBlockPos = blockEnd((uint32_t)old.headSize + old.packSize);
  if (archiveReader.nextBlockPos <= archiveReader.curBlockPos) return endOfWalk(saved);
  return commonTail(n, saved);
}

int32_t readNextBlock() {
  if (archiveReader.format == FormatOld) return readNextOldBlock();
  return readNextNewBlock();
}
