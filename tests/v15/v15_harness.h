// Runs the version 1.5 decoder in-process on packed bytes and collects what it
// writes.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "tests/support/fake_host.h"
#include "unpack/unpack.h"

struct V15Decoder {
  V15Decoder() {
    resetEngineAndHost();
    buildCrcTable();
    session.window = (unsigned char*)calloc(WindowSize, 1);
  }
  ~V15Decoder() { resetEngineForTests(); }
  V15Decoder(const V15Decoder&) = delete;
  V15Decoder& operator=(const V15Decoder&) = delete;

  // Decodes one file of `size` bytes; `solid` continues the previous file.
  std::vector<uint8_t> decode(const std::vector<uint8_t>& packed, size_t size, bool solid = false) {
    FILE* in = tmpfile();
    FILE* out = tmpfile();
    if (!packed.empty()) fwrite(packed.data(), 1, packed.size(), in);
    rewind(in);
    archiveReader.archiveFile = in;
    session.outputFile = out;
    dataStream.packedLeft = uint32_t(packed.size());
    dataStream.remaining = int32_t(size);
    dataStream.cipherVersion = 0;
    dataStream.checksumMode = 2;
    dataStream.dataCrc = 0xFFFFFFFF;
    unpackFile(session.window, 15, solid);
    fflush(out);
    std::vector<uint8_t> result(size_t(ftell(out)));
    rewind(out);
    if (!result.empty() && fread(result.data(), 1, result.size(), out) != result.size()) result.clear();
    fclose(in);
    fclose(out);
    archiveReader.archiveFile = nullptr;
    session.outputFile = nullptr;
    return result;
  }
};

inline std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
