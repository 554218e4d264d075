// Memory the engine cannot get ends the run: the decompression window with its own
// message first, a name list with "Not enough memory"; both with exit code 8.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "archive/checksum.h"
#include "extract/name_list.h"
#include "extract/session.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_archive.h"

#include "tests/support/allocator_replaceable.h"

// This executable's allocator can be told to refuse one request: a block of the
// window's size, or the next reallocation.
static bool refuseWindow = false;
static bool refuseNextRealloc = false;
#ifndef ALLOCATOR_REPLACED_ELSEWHERE
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);
extern "C" void* malloc(size_t size) {
  if (refuseWindow && size == 1048576) {
    refuseWindow = false;
    return nullptr;
  }
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  if (refuseWindow && count * size == 1048576) {
    refuseWindow = false;
    return nullptr;
  }
  return __libc_calloc(count, size);
}
// The window may come in a block aligned for a huge page, up to 2 MiB.
extern "C" int posix_memalign(void** block, size_t alignment, size_t size) {
  if (refuseWindow && size >= 1048576 && size <= 2097152) {
    refuseWindow = false;
    return ENOMEM;
  }
  *block = __libc_memalign(alignment, size);
  return *block == nullptr ? ENOMEM : 0;
}
extern "C" void* realloc(void* block, size_t size) {
  if (refuseNextRealloc) {
    refuseNextRealloc = false;
    return nullptr;
  }
  return __libc_realloc(block, size);
}
#endif

namespace {

using namespace testarchive;

class AllocFailure : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef ALLOCATOR_REPLACED_ELSEWHERE
    GTEST_SKIP() << "the allocator cannot be replaced under the address sanitizer";
#endif
    resetEngineAndHost();
  }
  void TearDown() override { resetEngineForTests(); }
};

TEST_F(AllocFailure, NoWindowShowsItsMessageAndEndsWithExitEight) {
  TempDir dir;
  std::string name = dir / "a.rar";
  writeFile(name, newArchive({file("a.txt", "contents")}));
  std::string out = dir / "out";
  mkdir(out.c_str(), 0755);
  EXPECT_EXIT(
      {
        fakeHost.echoToStderr = true;
        refuseWindow = true;
        runExtraction(nullptr, name.c_str(), out.c_str());
        exit(0);
      },
      ::testing::ExitedWithCode(ExitMemory), "^\\[box\\] ERROR: Not enough memory to extract\n$");
  EXPECT_FALSE(pathExists(out + "/a.txt"));

  // With memory, the same archive extracts.
  EXPECT_EQ(runExtraction(nullptr, name.c_str(), out.c_str()), 0);
  EXPECT_TRUE(pathExists(out + "/a.txt"));
}

TEST_F(AllocFailure, ANameListThatCannotGrowEndsWithNotEnoughMemory) {
  EXPECT_EXIT(
      {
        fakeHost.echoToStderr = true;
        refuseNextRealloc = true;
        addName(&session.masks, "*.*");
        exit(0);
      },
      ::testing::ExitedWithCode(ExitMemory), "Not enough memory");
  addName(&session.masks, "*.*");
  EXPECT_EQ(session.masks.count, 1);
}

}  // namespace
