// The search for an embedded archive needs one buffer; without it the run ends.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

#include "tests/support/allocator_replaceable.h"

// This executable's allocator can be told to refuse the search buffer's size.
static bool refuseSearchBuffer = false;
#ifndef ALLOCATOR_REPLACED_ELSEWHERE
extern "C" void* __libc_malloc(size_t size);
extern "C" void* malloc(size_t size) {
  if (refuseSearchBuffer && size == 0x18000) return nullptr;
  return __libc_malloc(size);
}
#endif

namespace {

TEST(SearchMemory, NoBufferForTheSearchEndsTheRunWithNotEnoughMemory) {
#ifdef ALLOCATOR_REPLACED_ELSEWHERE
  GTEST_SKIP() << "the allocator cannot be replaced under the address sanitizer";
#endif
  resetEngineAndHost();
  TempDir dir;
  writeFile(dir / "host.exe", Bytes(150000, 0x90));
  archiveReader.archiveFile = fopen((dir / "host.exe").c_str(), "rb");
  ASSERT_NE(archiveReader.archiveFile, nullptr);
  fakeHost.echoToStderr = true;
  EXPECT_EXIT(
      {
        refuseSearchBuffer = true;
        identifyArchive();
        exit(0);
      },
      ::testing::ExitedWithCode(8), "Not enough memory");
  EXPECT_EQ(identifyArchive(), NotArchive);  // with memory, the same file is searched
  resetEngineForTests();
}

}  // namespace
