// The whole extraction run on an archive file made of the input: the archive is found,
// walked, every entry is asked a password for, decoded and checked. Built twice: as a
// test run that writes nothing, and (LUMVARD_FUZZ_WRITE) extracting into a folder
// prepared with links that lead out of it, after which nothing may exist outside that
// folder and what the links lead to is unchanged.
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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
  std::string outside;  // what the destination's links lead to
};

// What lies outside, reached through links of the destination: a folder link where
// entries make folders, a link and a hard link at names entries use, and a relative
// link up to the destination's parent.
const char* const outsideFiles[] = {"readme.txt", "hard.txt"};
const char outsideText[] = "outside, never written";

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
    paths.outside = paths.root + "/outside";
    mkdir(paths.outside.c_str(), 0700);
    for (const char* name : outsideFiles) {
      std::string path = paths.outside + "/" + name;
      writeScratchFile(path, (const uint8_t*)outsideText, sizeof outsideText - 1);
    }
  }
  return paths;
}

void prepareDestination() {
  const Layout& paths = layout();
  const std::string& out = paths.destination;
  mkdir(out.c_str(), 0700);
  if (symlink(paths.outside.c_str(), (out + "/docs").c_str()) != 0 ||
      symlink((paths.outside + "/readme.txt").c_str(), (out + "/readme.txt").c_str()) != 0 ||
      symlink("..", (out + "/up").c_str()) != 0 ||
      link((paths.outside + "/hard.txt").c_str(), (out + "/one.txt").c_str()) != 0) {
    fprintf(stderr, "fuzz: cannot prepare the destination's links\n");
    abort();
  }
}

bool outsideUnchanged(const std::string& path) {
  const Layout& paths = layout();
  if (path == paths.outside) return true;
  for (const char* name : outsideFiles) {
    if (path != paths.outside + "/" + name) continue;
    char text[sizeof outsideText] = "";
    FILE* file = fopen(path.c_str(), "rb");
    size_t length = file != nullptr ? fread(text, 1, sizeof text, file) : 0;
    if (file != nullptr) fclose(file);
    return length == sizeof outsideText - 1 && memcmp(text, outsideText, length) == 0;
  }
  return false;
}

void runOnce(void*) {
  const Layout& paths = layout();
  runExtraction(nullptr, paths.archive.c_str(), paths.destination.c_str());
}

// Anything in the scratch folder but the folders on the way, the archive, the
// destination with what is below it and the untouched outside files escaped the
// destination.
const char* escapedPath;
std::string escapedCopy;

int lookForEscape(const char* path, const struct stat*, int, struct FTW*) {
  const Layout& paths = layout();
  std::string p = path;
  if (p == paths.root || p == paths.root + "/a" || p == paths.root + "/a/b" || p == paths.work ||
      p == paths.archive || p == paths.destination ||
      p.compare(0, paths.destination.size() + 1, paths.destination + "/") == 0 || outsideUnchanged(p))
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
  if (lstat(paths.destination.c_str(), &st) == 0) {
    nftw(paths.destination.c_str(), openUp, 16, FTW_PHYS);
    nftw(paths.destination.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Layout& paths = layout();
  writeScratchFile(paths.archive, data, size);
  resetEngineForFuzzing();
  if (LUMVARD_FUZZ_WRITE) prepareDestination();
  session.testOnly = !LUMVARD_FUZZ_WRITE;
  runGuarded(runOnce, nullptr);
  resetEngineForFuzzing();
  if (LUMVARD_FUZZ_WRITE) checkAndClean();
  return 0;
}
