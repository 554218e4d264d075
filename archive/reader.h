// The archive's block layouts and the reader that finds an archive in a file and
// walks its blocks entry by entry.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "extract/session.h"

enum ArchiveFormat : int { FormatNone = 0, FormatOld = 1, FormatNew = 2 };
enum ArchiveKind : int { NotArchive = 0, PlainArchive = 1, VolumeArchive = 2, EmbeddedArchive = 3 };

enum BlockType : uint8_t { ArchiveHeaderBlock = 0x73, FileBlock = 0x74, SubBlock = 0x77 };

// Archive header flags.
enum : uint16_t { ArchiveVolume = 0x01, ArchiveSolid = 0x08 };

// File entry flags.
enum : uint16_t {
  EntryContinuedFromPrevious = 0x01,
  EntryContinuedInNext = 0x02,
  EntryEncrypted = 0x04,
  EntrySolid = 0x10,
  EntryDictionaryMask = 0xE0,  // 0xE0 marks a directory entry
  EntryHasAddSize = 0x8000
};

// File attribute bits.
enum : uint32_t { AttrReadOnly = 0x01, AttrVolumeLabel = 0x08, AttrDirectory = 0x10, AttrArchive = 0x20 };

struct BlockHeader {
  uint16_t headCrc;
  uint8_t headType;
  uint16_t flags;
  uint16_t headSize;
  uint32_t addSize;
};

struct ArchiveHeader {
  uint16_t headCrc;
  uint8_t headType;
  uint16_t flags;
  uint16_t headSize;
  uint16_t reserved1;
  uint32_t reserved2;
};

struct FileEntry {
  uint16_t headCrc;
  uint8_t headType;
  uint16_t flags;
  uint16_t headSize;
  uint32_t packSize;
  uint32_t unpSize;
  uint8_t hostOs;
  uint32_t fileCrc;
  uint32_t fileTime;
  uint8_t unpVer;
  uint8_t method;
  uint16_t nameSize;
  uint32_t fileAttr;
};

struct ArchiveReader {
  FILE* archiveFile;          // absent (null) when no archive is open
  int format;                 // ArchiveFormat
  int kind;                   // ArchiveKind
  int32_t embeddedOffset;     // where a searched-for archive starts; 0 otherwise
  int32_t archiveHeaderRead;  // 7 (old) or 13 (new)
  ArchiveHeader archiveHeader;
  bool solidArchive;
  int32_t curBlockPos;
  int32_t nextBlockPos;
  uint32_t headerCrcAcc;
  FileEntry entry;            // the current entry
  char fileName[PathCapacity];
  BlockHeader block;          // the block readNextBlock stopped at
  unsigned char* searchBuffer; // held only while identifyArchive searches
};

extern ArchiveReader archiveReader;

// Identifies the archive in the open archive file (positioned at offset 0).
int identifyArchive();
// Reads up to the next file entry or sub-block; 0 when no entry can be read.
int32_t readNextBlock();
// Moves the open archive (if any) to the absolute file offset `position`.
void seekArchiveFile(long position);
