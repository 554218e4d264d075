#include "pack/archive_stream.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "cli/replacement_file.h"
#include "pack/unfinished_archive.h"

namespace {

enum { CipherBlock = 16 };

void failWith(ArchiveStream& a, const std::string& why) {
  if (a.error.empty()) a.error = a.output + ": " + why;
}

void writeAt(ArchiveStream& a, uint64_t at, const uint8_t* bytes, size_t count) {
  while (a.error.empty() && count > 0) {
    ssize_t n = pwrite(a.fd, bytes, count, (off_t)at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failWith(a, strerror(n < 0 ? errno : EIO));
      return;
    }
    bytes += n;
    count -= (size_t)n;
    at += (uint64_t)n;
  }
}

void append(ArchiveStream& a, const uint8_t* bytes, size_t count) {
  if (!a.error.empty()) return;
  if (a.size + count >= MaxArchiveBytes) {
    a.error = "the archive would be 2 GiB or larger";
    return;
  }
  writeAt(a, a.size, bytes, count);
  a.size += count;
}

void append(ArchiveStream& a, const std::vector<uint8_t>& bytes) { append(a, bytes.data(), bytes.size()); }

// The cipher an entry's unpack version selects; old-format entries only know 1.3.
int cipherOf(const ArchiveStream& a, const PackEntry& entry) {
  if (a.layout.format == PackFormat::Old) return 13;
  uint8_t version = entry.unpVer.value_or(20);
  return version >= 20 ? 20 : version == 15 ? 15 : 13;
}

void startCipher(ArchiveStream& a, const PackEntry& entry) {
  a.cipherTail.clear();
  if (entry.password.empty()) return;
  buildCrcTable();
  char key[128] = {0};
  entry.password.copy(key, sizeof key - 1);
  initCipher(key);
  memset(key, 0, sizeof key);
}

void writeHeader(ArchiveStream& a, const PackEntry& entry, uint32_t packedSize) {
  std::vector<uint8_t> header = entryHeader(a.layout, entry, a.firstFile, packedSize);
  writeAt(a, a.headerAt, header.data(), header.size());
  if (a.headerAt == a.size) a.size += header.size();
  a.dataAt = a.headerAt + header.size();
}

}  // namespace

bool openArchiveStream(ArchiveStream& a, const std::string& output, const PackArchive& layout) {
  a = ArchiveStream();
  a.output = output;
  a.layout = layout;
  a.layout.items.clear();
  a.fd = createTemporaryBeside(output, &a.tempPath);
  if (a.fd < 0) {
    a.tempPath.clear();
    failWith(a, strerror(errno));
    return false;
  }
  noteUnfinishedArchive(a.tempPath.c_str());
  append(a, archiveOpening(a.layout));
  return a.error.empty();
}

void beginEntry(ArchiveStream& a, const PackEntry& entry) {
  a.inEntry = true;
  a.entry = entry;
  a.headerAt = a.size;
  a.dataSize = 0;
  writeHeader(a, entry, 0);
  startCipher(a, entry);
}

void writeEntryData(ArchiveStream& a, const uint8_t* bytes, size_t count) {
  if (a.entry.password.empty()) {
    append(a, bytes, count);
    a.dataSize += count;
    return;
  }
  int cipher = cipherOf(a, a.entry);
  std::vector<uint8_t> work;
  if (cipher == 20) {
    work = std::move(a.cipherTail);
    work.insert(work.end(), bytes, bytes + count);
    size_t whole = work.size() / CipherBlock * CipherBlock;
    a.cipherTail.assign(work.begin() + whole, work.end());
    work.resize(whole);
    for (size_t at = 0; at < whole; at += CipherBlock) encryptBlock20(work.data() + at);
  } else {
    work.assign(bytes, bytes + count);
    if (cipher == 15)
      crypt15(work.data(), work.size());
    else
      encrypt13(work.data(), work.size());
  }
  append(a, work);
  a.dataSize += work.size();
}

void endEntry(ArchiveStream& a, const PackEntry& entry) {
  if (!a.cipherTail.empty()) {
    // The last cipher block is filled up with zeros.
    uint8_t block[CipherBlock] = {0};
    memcpy(block, a.cipherTail.data(), a.cipherTail.size());
    encryptBlock20(block);
    a.cipherTail.clear();
    append(a, block, sizeof block);
    a.dataSize += sizeof block;
  }
  writeHeader(a, entry, (uint32_t)a.dataSize);
  if (!entry.directory) a.firstFile = false;
  a.inEntry = false;
}

void restartEntry(ArchiveStream& a, const PackEntry& entry) {
  a.size = a.headerAt;
  if (a.error.empty() && ftruncate(a.fd, (off_t)a.size) != 0) failWith(a, strerror(errno));
  beginEntry(a, entry);
}

void writeWholeEntry(ArchiveStream& a, const PackEntry& entry) {
  beginEntry(a, entry);
  const std::vector<uint8_t>& data = entry.packed ? *entry.packed : entry.data;
  if (!entry.directory) writeEntryData(a, data.data(), data.size());
  endEntry(a, entry);
}

bool closeArchiveStream(ArchiveStream& a) {
  append(a, archiveClosing(a.layout));
  if (a.error.empty() && fchmod(a.fd, replacementMode(a.output)) != 0) failWith(a, strerror(errno));
  // Written back before it takes OUTPUT's place: a write that fails only then (EIO on
  // the way to the disk) is reported here, not lost after a run that said "written";
  // and after a crash OUTPUT is the old archive or the new one, never a hollow file.
  if (a.error.empty() && fsync(a.fd) != 0) failWith(a, strerror(errno));
  if (close(a.fd) != 0) failWith(a, strerror(errno));
  a.fd = -1;
  if (a.error.empty() && rename(a.tempPath.c_str(), a.output.c_str()) != 0) failWith(a, strerror(errno));
  if (!a.error.empty()) unlink(a.tempPath.c_str());
  forgetUnfinishedArchive();
  return a.error.empty();
}

void abandonArchiveStream(ArchiveStream& a) {
  if (a.fd >= 0) close(a.fd);
  a.fd = -1;
  if (!a.tempPath.empty()) unlink(a.tempPath.c_str());
  forgetUnfinishedArchive();
}
