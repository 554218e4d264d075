// An archive written straight into its file as the data comes: an entry's header is
// written with room for its sizes and checks and completed once the entry's data has
// gone out, so neither the inputs nor the archive are ever whole in memory. The file
// is made beside OUTPUT and replaces it only when closed complete.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"

enum : uint64_t {
  // Block positions are signed 32-bit values for the reader.
  MaxArchiveBytes = 0x80000000ull
};

struct ArchiveStream {
  std::string output;
  std::string tempPath;
  int fd = -1;
  PackArchive layout;      // format, flags, prefix and closing block; items unused
  uint64_t size = 0;       // bytes written so far
  bool firstFile = true;
  std::string error;       // the first failure; once set, writes do nothing
  // The entry being written.
  bool inEntry = false;
  PackEntry entry;
  uint64_t headerAt = 0, dataAt = 0;
  uint64_t dataSize = 0;
  std::vector<uint8_t> cipherTail;  // bytes short of a whole 2.0 cipher block
};

// Creates the file beside output and writes the prefix and the archive header.
bool openArchiveStream(ArchiveStream& a, const std::string& output, const PackArchive& layout);
// An entry whose data follows in pieces (encrypted here when entry.password is set).
void beginEntry(ArchiveStream& a, const PackEntry& entry);
void writeEntryData(ArchiveStream& a, const uint8_t* bytes, size_t count);
// Completes the entry's header; unpSize and fileCrc are taken from `entry` now.
void endEntry(ArchiveStream& a, const PackEntry& entry);
// Drops what was written of the entry's data, to write it again another way.
void restartEntry(ArchiveStream& a, const PackEntry& entry);
// An entry whose data is at hand (folders, empty files), as buildArchive writes it.
void writeWholeEntry(ArchiveStream& a, const PackEntry& entry);
// Writes the closing block and puts the archive in place of OUTPUT.
bool closeArchiveStream(ArchiveStream& a);
// Removes the unfinished file.
void abandonArchiveStream(ArchiveStream& a);
