#include "pack/pack_run.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <deque>
#include <memory>

#include "archive/checksum.h"
#include "pack/archive_stream.h"
#include "pack/walked_file.h"

namespace {

enum : uint16_t { FlagSolid = 0x10 };
enum : uint8_t { StoredMethod = 0x30 };

// Puts the encoder's streams into the archive in entry order. Entries wait in archive
// order; one without a stream (a folder, a stored empty file) is written as soon as
// every entry before it is complete, a coded one when its stream starts.
struct EntryQueue : PackedSink {
  struct Waiting {
    PackEntry entry;
    bool coded;
  };
  ArchiveStream& archive;
  std::deque<Waiting> waiting;
  uint64_t streamBytes = 0;  // of the stream being written, before encryption
  uint64_t lastStreamBytes = 0;

  explicit EntryQueue(ArchiveStream& a) : archive(a) {}

  void add(const PackEntry& entry, bool coded) {
    waiting.push_back(Waiting{entry, coded});
    pump();
  }

  void pump() {
    while (!waiting.empty() && !archive.inEntry) {
      if (waiting.front().coded) {
        beginEntry(archive, waiting.front().entry);
        streamBytes = 0;
        return;
      }
      writeWholeEntry(archive, waiting.front().entry);
      waiting.pop_front();
    }
  }

  void write(const uint8_t* bytes, size_t count) override {
    pump();
    writeEntryData(archive, bytes, count);
    streamBytes += count;
  }

  void endStream() override {
    pump();
    endEntry(archive, waiting.front().entry);
    waiting.pop_front();
    lastStreamBytes = streamBytes;
    pump();
  }
};

struct InputFile {
  FILE* file = nullptr;
  ~InputFile() {
    if (file) fclose(file);
  }
};

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Reads the file in pieces, giving each to `use`, and checks that it is still the file
// the inputs were walked to, with the size it had then, and that nothing wrote to it
// while it was read (its times would have moved): else it would go in part old, part new.
bool readInPieces(const InputEntry& input, std::vector<uint8_t>& piece,
                  const std::function<void(const uint8_t*, size_t)>& use, std::string* error) {
  InputFile in;
  errno = 0;
  in.file = openWalkedFile(input);
  struct stat before, after;
  if (in.file == nullptr || fstat(fileno(in.file), &before) != 0) {
    *error = input.displayName + ": " + (errno != 0 ? strerror(errno) : "the file changed while it was read");
    return false;
  }
  uint64_t left = input.size;
  while (left > 0) {
    size_t want = (size_t)std::min<uint64_t>(left, piece.size());
    size_t got = fread(piece.data(), 1, want, in.file);
    if (got > 0) use(piece.data(), got);
    left -= got;
    if (got < want) break;
  }
  bool failed = ferror(in.file) != 0 || fstat(fileno(in.file), &after) != 0;
  if (failed || left != 0 || fgetc(in.file) != EOF || !sameTime(before.st_mtim, after.st_mtim) ||
      !sameTime(before.st_ctim, after.st_ctim)) {
    *error = input.displayName + ": " + (failed ? "read error" : "the file changed while it was read");
    return false;
  }
  return true;
}

struct Checksum {
  bool old;
  uint32_t value;
  explicit Checksum(bool oldFormat) : old(oldFormat), value(oldFormat ? 0 : 0xFFFFFFFFu) {}
  void add(const uint8_t* bytes, size_t count) {
    value = old ? updateChecksum16(value, bytes, count) : updateCrc32(value, bytes, count);
  }
  uint32_t result() const { return old ? value : ~value; }
};

// Writes the file as it is into the entry begun in the archive.
bool storeFile(ArchiveStream& archive, const InputEntry& input, std::vector<uint8_t>& piece, Checksum& sum,
               std::string* error) {
  return readInPieces(input, piece, [&](const uint8_t* b, size_t n) {
    sum.add(b, n);
    writeEntryData(archive, b, n);
  }, error);
}

}  // namespace

bool packInputs(const std::vector<InputEntry>& inputs, const PackJob& job, const std::string& output,
                std::string* error) {
  buildCrcTable();
  bool oldFormat = job.layout.format == PackFormat::Old;
  bool solid = job.solid && job.method->solidCapable;
  PackArchive layout = job.layout;
  // Entry solid flags are set per entry, from what the encoder did.
  layout.solid = false;
  if (solid) layout.extraArchiveFlags |= 0x08;
  ArchiveStream archive;
  if (!openArchiveStream(archive, output, layout)) {
    *error = archive.error;
    abandonArchiveStream(archive);
    return false;
  }
  std::unique_ptr<StreamEncoder> encoder = job.method->makeEncoder ? job.method->makeEncoder(job.settings) : nullptr;
  EntryQueue queue(archive);
  if (encoder) encoder->sink = &queue;
  std::vector<uint8_t> piece(ReadPieceBytes);
  auto failed = [&](const std::string& why) {
    *error = why;
    abandonArchiveStream(archive);
    return false;
  };

  for (const InputEntry& input : inputs) {
    uint32_t time = job.entryTime(input);
    if (job.onEntry) job.onEntry(input);
    if (input.directory) {
      PackEntry entry = folder(input.archiveName);
      entry.dosTime = time;
      queue.add(entry, false);
      continue;
    }
    if (job.onFileStart) job.onFileStart(input.size);
    PackEntry entry;
    entry.name = input.archiveName;
    entry.dosTime = time;
    entry.attributes = 0x20 | (input.readOnly ? 0x01 : 0);
    entry.password = job.password;
    entry.unpVer = job.method->unpVer;
    entry.method = job.method->methodByte;
    entry.unpSize = (uint32_t)input.size;
    Checksum sum(oldFormat);
    if (!encoder || (input.size == 0 && !(solid && job.method->solidTakesEveryFile))) {
      // Nothing to gain from packing an empty file; a stored entry leaves the
      // compression state of a solid stream alone.
      entry.method = StoredMethod;
      if (input.size == 0) {
        // Nothing to read, but a file that has grown since the walk is not stored empty.
        if (!readInPieces(input, piece, [](const uint8_t*, size_t) {}, error)) return failed(*error);
        entry.fileCrc = sum.result();
        queue.add(entry, false);
      } else {
        beginEntry(archive, entry);
        if (!storeFile(archive, input, piece, sum, error)) return failed(*error);
        entry.fileCrc = sum.result();
        endEntry(archive, entry);
      }
    } else {
      if (encoder->beginFile(solid)) entry.extraFlags |= FlagSolid;
      queue.add(entry, true);
      if (!readInPieces(input, piece, [&](const uint8_t* b, size_t n) {
            sum.add(b, n);
            encoder->feed(b, n);
          }, error))
        return failed(*error);
      // The stream may end within endFile: the entry is complete before.
      entry.fileCrc = sum.result();
      queue.waiting.back().entry.fileCrc = entry.fileCrc;
      encoder->endFile();
      if (!solid) {
        encoder->finish();
        if (queue.lastStreamBytes >= input.size) {
          // Incompressible: stored costs less.
          entry.method = StoredMethod;
          Checksum again(oldFormat);
          restartEntry(archive, entry);
          if (!storeFile(archive, input, piece, again, error)) return failed(*error);
          if (again.result() != entry.fileCrc)
            return failed(input.displayName + ": the file changed while it was read");
          endEntry(archive, entry);
        }
      }
    }
    if (!archive.error.empty()) return failed(archive.error);
    if (job.onFileDone) job.onFileDone(input.size);
  }
  if (encoder) encoder->finish();
  queue.pump();
  if (!queue.waiting.empty()) return failed("internal error: a packed stream is missing");
  if (!closeArchiveStream(archive)) {
    *error = archive.error;
    return false;
  }
  return true;
}
