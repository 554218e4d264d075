// The header reader on arbitrary bytes: identification (at the start of the file or by
// the search inside an executable) and the walk over every block, the way the
// extraction loop drives it, with the reader's promises checked at every step.
//
// Input: one control byte, then the file's bytes. Control 0: the file is the bytes as
// they are. Otherwise the bytes come after a stand-in executable of 98,304 bytes plus
// 256 x (control >> 1) more, so the search window is reached without huge inputs; an
// odd control also tags the stand-in at offset 28 the way old embedded archives need.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/reader.h"
#include "extract/session.h"
#include "fuzz/fuzz_support.h"

namespace {

void failInvariant(const char* what) {
  fprintf(stderr, "fuzz: reader invariant broken: %s\n", what);
  abort();
}

void walk(size_t fileSize) {
  int kind = identifyArchive();
  if (kind < NotArchive || kind > EmbeddedArchive) failInvariant("kind out of range");
  if (kind == NotArchive) return;
  if (archiveReader.embeddedOffset < 0 || (size_t)archiveReader.embeddedOffset >= fileSize)
    failInvariant("embedded offset outside the file");

  FILE* file = archiveReader.archiveFile;
  fseek(file, (long)archiveReader.archiveHeader.headSize - archiveReader.archiveHeaderRead, SEEK_CUR);
  // Each block lies after the one before, and every header takes at least 7 bytes:
  // more blocks than that is a walk that does not end.
  size_t limit = fileSize / 7 + 2;
  for (size_t blocks = 0;; blocks++) {
    if (blocks > limit) failInvariant("the walk does not end");
    int32_t r = readNextBlock();
    if (r < 0) failInvariant("negative result");
    if (r == 0) {
      if (archiveReader.block.headType == SubBlock) failInvariant("sub-block type after the end");
      return;
    }
    if (archiveReader.nextBlockPos <= archiveReader.curBlockPos)
      failInvariant("next block not after the current one");
    if (archiveReader.block.headType == FileBlock) {
      size_t length = strnlen(archiveReader.fileName, PathCapacity);
      if (length >= PathCapacity) failInvariant("name not terminated");
      if (archiveReader.entry.nameSize > PathCapacity - 1) failInvariant("name size not clamped");
    } else if (archiveReader.block.headType != SubBlock) {
      failInvariant("block handed back that is neither entry nor sub-block");
    }
    fseek(file, (long)archiveReader.nextBlockPos, SEEK_SET);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchFolder() + "/walked";
  static std::vector<uint8_t> file;
  if (size < 1) return 0;
  uint8_t control = data[0];
  file.clear();
  if (control != 0) {
    file.assign(98304 + 256 * (size_t)(control >> 1), 0);
    file[0] = 'M';
    file[1] = 'Z';
    if (control & 1) memcpy(&file[28], "RSFX", 4);
  }
  file.insert(file.end(), data + 1, data + size);
  writeScratchFile(path, file.data(), file.size());

  resetEngineForFuzzing();
  archiveReader.archiveFile = fopen(path.c_str(), "rb");
  if (archiveReader.archiveFile == nullptr) abort();
  size_t fileSize = file.size();
  runGuarded([](void* context) { walk(*(size_t*)context); }, &fileSize);
  resetEngineForFuzzing();
  return 0;
}
