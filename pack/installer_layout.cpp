#include "pack/installer_layout.h"

#include <string.h>

namespace {
const uint8_t newMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t oldSignature[4] = {0x52, 0x45, 0x7E, 0x5E};
const uint8_t oldFormatTag[4] = {'R', 'S', 'F', 'X'};
enum : size_t { TagOffset = 28 };

// Whether the search would stop inside the stub, before the appended archive.
bool holdsAnArchiveStart(const std::vector<uint8_t>& stub, PackFormat format) {
  for (size_t p = InstallerSearchStart; p + 4 <= stub.size(); p++) {
    if (stub[p] != 0x52) continue;
    if (format == PackFormat::Old && memcmp(&stub[p], oldSignature, 4) == 0) return true;
    if (p + 10 <= stub.size() && memcmp(&stub[p], newMarker, 7) == 0 && stub[p + 9] == 0x73)
      return true;
  }
  return false;
}
}  // namespace

size_t installerArchiveOffset(size_t stubSize) {
  size_t offset = stubSize < InstallerSearchStart ? InstallerSearchStart : stubSize;
  offset = (offset + InstallerArchiveAlignment - 1) / InstallerArchiveAlignment * InstallerArchiveAlignment;
  return offset <= InstallerLastArchiveStart ? offset : 0;
}

bool installerStubFits(uint64_t stubSize, std::string* error) {
  if (stubSize <= InstallerLastArchiveStart && installerArchiveOffset((size_t)stubSize) != 0) return true;
  *error = "the installer stub has " + std::to_string(stubSize) + " bytes; the archive must start before offset " +
           std::to_string(InstallerLastArchiveStart + 1);
  return false;
}

bool makeInstallerPrefix(const std::vector<uint8_t>& stub, PackFormat format,
                         std::vector<uint8_t>* prefix, std::string* error) {
  if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
    *error = "the installer stub is not an executable (no MZ header)";
    return false;
  }
  if (!installerStubFits(stub.size(), error)) return false;
  const size_t offset = installerArchiveOffset(stub.size());
  if (holdsAnArchiveStart(stub, format)) {
    *error = "the installer stub holds an archive start of its own where the installer searches";
    return false;
  }
  *prefix = stub;
  if (format == PackFormat::Old) {
    uint8_t* tag = prefix->data() + TagOffset;
    bool unused = true;
    for (int i = 0; i < 4; i++) unused = unused && tag[i] == 0;
    if (!unused && memcmp(tag, oldFormatTag, 4) != 0) {
      *error = "the installer stub uses offsets 28 to 31, where an old-format archive needs its tag";
      return false;
    }
    memcpy(tag, oldFormatTag, 4);
  }
  prefix->resize(offset, 0);
  return true;
}

bool startsAnArchive(const std::vector<uint8_t>& head) {
  if (head.size() >= 7 && memcmp(head.data(), newMarker, 7) == 0) return true;
  if (head.size() >= 4 && memcmp(head.data(), oldSignature, 4) == 0) return true;
  // The old generation's search is the wider one: it stops at either kind of start.
  return head.size() >= 2 && head[0] == 'M' && head[1] == 'Z' && holdsAnArchiveStart(head, PackFormat::Old);
}
