#include "tests/support/unpack_harness.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "tests/support/fake_host.h"
#include "unpack/unpack.h"

UnpackHarness::UnpackHarness() {
  resetEngineAndHost();
  session.window = (unsigned char*)calloc(WindowSize, 1);
}

UnpackHarness::~UnpackHarness() { resetEngineAndHost(); }

std::vector<uint8_t> UnpackHarness::decode(const std::vector<uint8_t>& packed,
                                           uint32_t unpackedSize, int unpVer, bool solid) {
  std::string index = std::to_string(calls++);
  std::string packedPath = dir / ("packed" + index);
  std::string outputPath = dir / ("output" + index);
  writeFile(packedPath, packed);

  archiveReader.archiveFile = fopen(packedPath.c_str(), "rb");
  session.outputFile = fopen(outputPath.c_str(), "wb");
  dataStream.packedLeft = (uint32_t)packed.size();
  dataStream.continuesInNext = false;
  dataStream.cipherVersion = 0;
  dataStream.remaining = (int32_t)unpackedSize;
  dataStream.checksumMode = 2;
  dataStream.dataCrc = 0xFFFFFFFFu;

  unpackFile(session.window, unpVer, solid);

  fclose(session.outputFile);
  session.outputFile = nullptr;
  if (archiveReader.archiveFile != nullptr) fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;
  return readFile(outputPath);
}
