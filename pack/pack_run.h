// One run of lumvard-pack: the inputs, in order, packed into an archive file. Files are
// read in pieces and their packed data written as it comes, so memory stays bounded
// by the compressor's window and buffers whatever the size of the inputs.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/input_walk.h"
#include "pack/pack_methods.h"

struct PackJob {
  const PackMethod* method = nullptr;
  bool solid = true;             // one compression state across files, when the method has one
  std::string password;          // encrypts every file
  PackSettings settings;
  PackArchive layout;            // format, prefix and closing block; entries come from the inputs
  std::function<uint32_t(const InputEntry&)> entryTime;  // MS-DOS time of an entry
  std::function<void(const InputEntry&)> onEntry;  // each entry, folders too, as it is added
  // Progress: a file starts (its size), and is done.
  std::function<void(uint64_t)> onFileStart;
  std::function<void(uint64_t)> onFileDone;
};

enum : uint32_t { ReadPieceBytes = 1u << 20 };

// Writes the archive to output (replaced only when complete). False with a message
// when an input cannot be read or the archive cannot be written.
bool packInputs(const std::vector<InputEntry>& inputs, const PackJob& job, const std::string& output,
                std::string* error);
