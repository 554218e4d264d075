// The archive writer: builds archives of the new block format and of the old format,
// in memory or into a file. Entries are stored as given, or carry packed data that an
// encoder produced; either can be encrypted with the cipher their unpack version
// selects (2.0 for 20 and above, 1.5 for 15, 1.3 otherwise). Every header field can be
// forced to any value, so tests can also build damaged or unusual archives.
//
// Typical use:
//
//   PackArchive archive;
//   archive.items.push_back(storedFile("readme.txt", bytes));
//   archive.items.push_back(folder("docs"));
//   PackEntry secret = storedFile("docs\\secret.txt", other);
//   secret.password = "swordfish";                    // 2.0 cipher (unpVer 20)
//   archive.items.push_back(secret);
//   std::vector<uint8_t> image = buildArchive(archive);
//
// An encoder's output goes in with compressedFile (name, original, packed, unpVer,
// method): the original bytes give the unpacked size and checksum, the packed bytes
// are written (and encrypted when a password is set).
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

enum class PackFormat { New, Old };

// One file or folder entry.
struct PackEntry {
  std::string name;           // written as it is; "\\" or "/" separate folders
  std::vector<uint8_t> data;  // the unpacked contents: size and checksum come from here
  // Packed data from an encoder; absent: data is stored as it is (method 0x30).
  std::optional<std::vector<uint8_t>> packed;
  bool directory = false;     // folder entry: attribute 0x10, flags 0xE0, no data
  uint32_t attributes = 0x20; // fileAttr; a folder gets 0x10 unless set otherwise
  uint32_t dosTime = 0x5821'6000;  // MS-DOS date-time (2024-01-01 12:00:00)
  std::string password;       // not empty: the packed data is encrypted, flag 0x04

  // New format: unpack version (selects the method and the cipher) and method byte.
  // Defaults: 20 and 0x30 (stored), or what compressedFile set.
  std::optional<uint8_t> unpVer;
  std::optional<uint8_t> method;
  uint8_t hostOs = 2;         // 0 MS-DOS, 1 OS/2, 2 Windows, 3 Unix
  uint16_t extraFlags = 0;    // OR-ed into the computed flags (0x01, 0x02, 0x10, ...)

  // Old format: version code (2 reads as unpack version 13) and method number 0..7.
  uint8_t oldVersionCode = 2;
  std::optional<uint8_t> oldMethod;

  // Forced values, for tests of damaged or unusual headers. Unset: computed.
  std::optional<uint16_t> flags;      // replaces the computed flags (0x8000 included)
  std::optional<uint32_t> packSize;   // recorded size; the packed bytes are written as they are
  std::optional<uint32_t> unpSize;
  std::optional<uint32_t> fileCrc;    // new format: the CRC-32; old: the 16-bit checksum
  std::optional<uint16_t> nameSize;   // recorded name length (old format: low 8 bits)
  std::optional<uint16_t> headCrc;    // new format only
  bool breakHeadCrc = false;          // store the complement of the computed check
  uint16_t headerPadding = 0;         // zero bytes between the name and the header end
  bool checkCoversPadding = true;     // new format: the header check includes them
  std::optional<uint16_t> headSize;   // recorded header size (the bytes are not changed)
};

// Any other block of the new format: a sub-block (0x77) or a type the reader skips.
struct PackBlock {
  uint8_t headType = 0x77;
  uint16_t flags = 0;                 // 0x8000 is added when addData is not empty
  std::vector<uint8_t> headerBody;    // header bytes after the common 7 (and addSize)
  std::vector<uint8_t> addData;       // data after the header
  std::optional<uint16_t> headSize;   // recorded header size
  std::optional<uint32_t> addSize;    // recorded data size
};

// Raw bytes written at that point of the archive as they are.
struct PackRaw {
  std::vector<uint8_t> bytes;
};

typedef std::variant<PackEntry, PackBlock, PackRaw> PackItem;

struct PackArchive {
  PackFormat format = PackFormat::New;
  std::vector<uint8_t> prefix;        // bytes before the archive, e.g. an executable stub
  bool volume = false;                // archive flag 0x01
  // Archive flag 0x08; every file entry after the first also gets entry flag 0x10
  // (its data continues the compression state), unless its flags are forced.
  bool solid = false;
  uint16_t extraArchiveFlags = 0;     // OR-ed into the archive header flags
  std::optional<uint16_t> archiveFlags;  // replaces the computed archive flags
  std::vector<uint8_t> archiveHeaderExtra;  // bytes after the archive header's fixed part
  std::optional<uint16_t> archiveHeadSize;  // recorded archive header size
  bool breakArchiveHeadCrc = false;   // new format: a wrong archive header check
  std::vector<PackItem> items;
  // New format: a last block whose headSize is below 7 (7 bytes: check, type 0x7B,
  // flags 0, this headSize); future installers end their archives with one.
  std::optional<uint16_t> endBlockHeadSize;
  std::vector<uint8_t> trailer;       // bytes after the archive
};

// A stored file.
PackEntry storedFile(const std::string& name, const std::vector<uint8_t>& data);
PackEntry storedFile(const std::string& name, const std::string& text);
// A folder entry.
PackEntry folder(const std::string& name);
// A file whose packed data came from an encoder; original gives size and checksum.
PackEntry compressedFile(const std::string& name, const std::vector<uint8_t>& original,
                         const std::vector<uint8_t>& packed, uint8_t unpVer, uint8_t method);
// The same when only the size and the standard CRC-32 of the original are known.
PackEntry compressedFile(const std::string& name, uint32_t unpSize, uint32_t crc32,
                         const std::vector<uint8_t>& packed, uint8_t unpVer, uint8_t method);

// MS-DOS date-time; seconds are kept in two-second steps.
uint32_t dosTime(int year, int month, int day, int hour, int minute, int second);
// The standard CRC-32 of data (what a new-format entry records).
uint32_t fileChecksum(const std::vector<uint8_t>& data);

// Encrypts packed data with the cipher unpVer selects (2.0: padded with zeros to a
// multiple of 16). The engine's cipher state is left as it was.
std::vector<uint8_t> encryptPacked(const std::vector<uint8_t>& packed,
                                   const std::string& password, uint8_t unpVer);

// A stand-in for an executable the archive is appended to: "MZ", zeros up to size;
// oldFormatMark puts "RSFX" at offsets 28..31, which old embedded archives need.
std::vector<uint8_t> executableStub(size_t size, bool oldFormatMark = false);

std::vector<uint8_t> buildArchive(const PackArchive& archive);
// What buildArchive joins, for an archive written piece by piece: the prefix and the
// archive header; one entry's header, for packedSize bytes of (encrypted) data after
// it; the closing block and the trailer.
std::vector<uint8_t> archiveOpening(const PackArchive& archive);
std::vector<uint8_t> entryHeader(const PackArchive& archive, const PackEntry& entry, bool firstFile,
                                 uint32_t packedSize);
std::vector<uint8_t> archiveClosing(const PackArchive& archive);
// Writes buildArchive's bytes to path; false when the file cannot be written.
bool writeArchiveFile(const PackArchive& archive, const std::string& path);
