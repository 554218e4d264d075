// Where the archive goes in an installer: after the installer executable, padded so
// that its first byte lies in the window of file offsets the installer searches for
// an archive inside itself.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"

enum : size_t {
  InstallerSearchStart = 98304,   // first offset searched
  InstallerSearchEnd = 196608,    // one past the last offset searched
  InstallerArchiveAlignment = 16,
  // The search wants the marker and the archive header's type byte inside the window.
  InstallerLastArchiveStart = InstallerSearchEnd - 10
};

// The offset the archive starts at behind an executable of stubSize bytes: the first
// 16-byte boundary at or after both the stub's end and the window's start; 0 when that
// lies past the window (the stub is too large).
size_t installerArchiveOffset(size_t stubSize);

// False with a reason when a stub of stubSize bytes leaves no room for the archive in
// the window; checked before the stub is read, so that no size is too large for it.
bool installerStubFits(uint64_t stubSize, std::string* error);

// Turns stub into the archive's prefix: checks it is an executable that cannot be
// mistaken for the archive, tags it for an old-format archive (offsets 28..31, which
// the executable's header leaves unused) and pads it with zeros up to
// installerArchiveOffset. False with a reason when the stub cannot carry an archive.
bool makeInstallerPrefix(const std::vector<uint8_t>& stub, PackFormat format,
                         std::vector<uint8_t>* prefix, std::string* error);

// Whether head, the first InstallerSearchEnd bytes of a file (or all of a shorter one),
// is an archive: one that starts at its first byte, or an executable carrying one where
// the installer searches.
bool startsAnArchive(const std::vector<uint8_t>& head);
