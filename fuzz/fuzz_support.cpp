#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "archive/checksum.h"
#include "extract/session.h"

static std::string scratch;

static int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

static void removeScratch() {
  if (!scratch.empty()) nftw(scratch.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

const std::string& scratchFolder() {
  if (scratch.empty()) {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumvard-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data()) == nullptr) {
      perror("mkdtemp");
      abort();
    }
    scratch = buffer.data();
    atexit(removeScratch);
  }
  return scratch;
}

void writeScratchFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
    perror(path.c_str());
    abort();
  }
}

void resetEngineForFuzzing() {
  resetEngineForTests();
  buildCrcTable();
  strcpy(appTitle, "Lumvard fuzzing");
  loadStatusTexts();
  static char bar;
  progressBar = &bar;
}

// The engine's exit is routed here by the linker (--wrap=exit).
extern "C" [[noreturn]] void __real_exit(int code);

static sigjmp_buf exitJump;
static volatile bool guarded;

extern "C" [[noreturn]] void __wrap_exit(int code) {
  if (!guarded || code == ExitUserBreak) __real_exit(code);
  if (code != ExitFatal) {
    fprintf(stderr, "fuzz: the engine ended the process with exit code %d\n", code);
    abort();
  }
  siglongjmp(exitJump, 1);
}

bool runGuarded(void (*body)(void* context), void* context) {
  // The engine installs its own handlers for these; the fuzzer's come back afterwards.
  struct sigaction oldInt, oldTerm;
  sigaction(SIGINT, nullptr, &oldInt);
  sigaction(SIGTERM, nullptr, &oldTerm);
  // Listing the archive's folder makes it the current directory; the fuzzer's own
  // relative paths (inputs, artifacts) must keep meaning what they meant.
  int here = open(".", O_RDONLY | O_DIRECTORY);
  bool finished = false;
  if (sigsetjmp(exitJump, 1) == 0) {
    guarded = true;
    body(context);
    finished = true;
  }
  guarded = false;
  if (here >= 0) {
    if (fchdir(here) != 0) abort();
    close(here);
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  return finished;
}
