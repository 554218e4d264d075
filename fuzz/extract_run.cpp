// The whole extraction run on an archive file made of the input: the archive is found,
// walked, every entry is asked a password for, decoded and checked. Built twice: as a
// test run that writes nothing, and (LUMVARD_FUZZ_WRITE) extracting into a folder,
// after which nothing may exist outside that folder.
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "extract/session.h"
#include "fuzz/fuzz_support.h"

#ifndef LUMVARD_FUZZ_WRITE
#define LUMVARD_FUZZ_WRITE 0
#endif

namespace {

// The archive and the destination sit three folders deep in the scratch folder, so a
// name that climbs out of the destination by a few levels still lands where the
// check below sees it.
struct Layout {
  std::string root;
  std::string work;
  std::string archive;
  std::string destination;
};

const Layout& layout() {
  static Layout paths;
  if (paths.root.empty()) {
    paths.root = scratchFolder();
    paths.work = paths.root + "/a/b/c";
    mkdir((paths.root + "/a").c_str(), 0700);
    mkdir((paths.root + "/a/b").c_str(), 0700);
    mkdir(paths.work.c_str(), 0700);
    paths.archive = paths.work + "/payload.rar";
    paths.destination = paths.work + "/out";
  }
  return paths;
}

void runOnce(void*) {
  const Layout& paths = layout();
  runExtraction(nullptr, paths.archive.c_str(), paths.destination.c_str());
}

// Anything in the scratch folder but the folders on the way, the archive and the
// destination with what is below it escaped the destination.
const char* escapedPath;
std::string escapedCopy;

int lookForEscape(const char* path, const struct stat*, int, struct FTW*) {
  const Layout& paths = layout();
  std::string p = path;
  if (p == paths.root || p == paths.root + "/a" || p == paths.root + "/a/b" || p == paths.work ||
      p == paths.archive || p == paths.destination ||
      p.compare(0, paths.destination.size() + 1, paths.destination + "/") == 0)
    return 0;
  escapedCopy = p;
  escapedPath = escapedCopy.c_str();
  return 1;
}

// Extracted folders may carry the read-only attribute: opened up first, then removed.
int openUp(const char* path, const struct stat*, int type, struct FTW*) {
  if (type == FTW_D || type == FTW_DNR) chmod(path, 0700);
  return 0;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void checkAndClean() {
  const Layout& paths = layout();
  escapedPath = nullptr;
  nftw(paths.root.c_str(), lookForEscape, 16, FTW_PHYS);
  if (escapedPath != nullptr) {
    fprintf(stderr, "fuzz: extraction wrote outside the destination: %s\n", escapedPath);
    abort();
  }
  struct stat st;
  if (stat(paths.destination.c_str(), &st) == 0) {
    nftw(paths.destination.c_str(), openUp, 16, FTW_PHYS);
    nftw(paths.destination.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Layout& paths = layout();
  writeScratchFile(paths.archive, data, size);
  resetEngineForFuzzing();
  session.testOnly = !LUMVARD_FUZZ_WRITE;
  runGuarded(runOnce, nullptr);
  resetEngineForFuzzing();
  if (LUMVARD_FUZZ_WRITE) checkAndClean();
  return 0;
}
