#include "cli/listing.h"

#include <stdio.h>
#include <string.h>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "cli/console_host.h"
#include "cli/member_selection.h"
#include "cli/name_encoding.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/dos_time.h"
#include "shell/resources/string_ids.h"

enum { StoredMethod = 0x30, NameCapacity = 1200 };

static unsigned ratioPercent(uint64_t packed, uint64_t size) {
  return size == 0 ? 0 : (unsigned)((packed * 100 + size / 2) / size);
}

static void formatRatio(char* out, size_t capacity, uint64_t packed, uint64_t size) {
  if (size == 0)
    snprintf(out, capacity, "  --");
  else
    snprintf(out, capacity, "%3u%%", ratioPercent(packed, size));
}

// The columns of the reader's current entry, without its name.
static void formatEntryColumns(char* out, unsigned capacity) {
  const FileEntry& entry = archiveReader.entry;
  char ratio[8];
  formatRatio(ratio, sizeof ratio, entry.packSize, entry.unpSize);

  char when[24];
  DosTime time;
  if (decodeDosTime(entry.fileTime, &time))
    snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
             time.minute, time.second);
  else
    snprintf(when, sizeof when, "%-19s", "(no valid time)");

  static const struct {
    uint32_t bit;
    char letter;
  } letters[] = {{AttrDirectory, 'D'}, {AttrReadOnly, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {AttrArchive, 'A'}};
  char attributes[6];
  for (int i = 0; i < 5; i++) attributes[i] = (entry.fileAttr & letters[i].bit) ? letters[i].letter : '.';
  attributes[5] = 0;

  char method[8];
  if (entry.method == StoredMethod)
    snprintf(method, sizeof method, "store");
  else if (entry.unpVer >= 13 && entry.unpVer <= 15)
    snprintf(method, sizeof method, "1.5");
  else if (entry.unpVer == 20)
    snprintf(method, sizeof method, "2.0");
  else
    snprintf(method, sizeof method, "?%u.%u", entry.unpVer / 10u, entry.unpVer % 10u);

  char checksum[12];
  if (archiveReader.format == FormatOld)
    snprintf(checksum, sizeof checksum, "    %04X", entry.fileCrc & 0xFFFFu);
  else
    snprintf(checksum, sizeof checksum, "%08X", entry.fileCrc);

  snprintf(out, capacity, "%10u %10u %s %s %s %-5s %c %s", entry.unpSize, entry.packSize, ratio, when, attributes,
           method, (entry.flags & EntryEncrypted) ? '*' : ' ', checksum);
}

int listArchive(const char* path) {
  buildCrcTable();
  snprintf(session.archiveName, sizeof session.archiveName, "%s", path);
  archiveReader.archiveFile = fopen(path, "rb");
  if (archiveReader.archiveFile == nullptr) return ExitFatal;
  if (identifyArchive() == NotArchive) {
    showMessageId(TargetBox, IDS_NOT_ARCHIVE, path);
    fclose(archiveReader.archiveFile);
    archiveReader.archiveFile = nullptr;
    return ExitWarning;
  }
  fseek(archiveReader.archiveFile, (long)archiveReader.archiveHeader.headSize - archiveReader.archiveHeaderRead,
        SEEK_CUR);

  printf("      Size     Packed Ratio Modified            Attr  Method E Checksum Name\n");
  uint64_t totalSize = 0, totalPacked = 0;
  unsigned files = 0, folders = 0;
  while (readNextBlock() > 0) {
    if (archiveReader.block.headType == FileBlock && memberSelects(archiveReader.fileName)) {
      convertAttributes();
      char columns[128], name[NameCapacity];
      formatEntryColumns(columns, sizeof columns);
      displayName(archiveReader.fileName, strlen(archiveReader.fileName), name, sizeof name);
      printf("%s %s\n", columns, name);
      totalSize += archiveReader.entry.unpSize;
      totalPacked += archiveReader.entry.packSize;
      if (archiveReader.entry.fileAttr & AttrDirectory)
        folders++;
      else
        files++;
    }
    fseek(archiveReader.archiveFile, (long)(uint32_t)archiveReader.nextBlockPos, SEEK_SET);
  }
  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;

  char ratio[8];
  formatRatio(ratio, sizeof ratio, totalPacked, totalSize);
  printf("%10llu %10llu %s %u file%s, %u folder%s\n", (unsigned long long)totalSize,
         (unsigned long long)totalPacked, ratio, files, files == 1 ? "" : "s", folders, folders == 1 ? "" : "s");
  fflush(stdout);
  reportUnmatchedMembers();
  return consoleCounts.problems > 0 ? ExitWarning : ExitSuccess;
}
