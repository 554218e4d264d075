// Output files: written under a temporary name in the target's folder, held open by
// descriptor, and renamed over the target once verified. The time and the read-only
// bit go on through the descriptor, so that whatever is put at the temporary name in
// the meantime never receives them.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/beneath_posix.h"
#include "platform/posix/file_info_posix.h"
#include "platform/posix/posix_path.h"

enum { NameCapacity = 256, TemporaryPathCapacity = PosixPathCapacity };

// The output being written; created is clear when there is none. A signal may end the
// process at any point, so the file is made and created set with signals held back.
struct PosixOutput {
  volatile sig_atomic_t created;            // the temporary file exists and is ours
  int folder;                               // the target's folder, opened beneath the root
  int file;                                 // the temporary file, open after its stream closed
  char target[NameCapacity];                // the target's name in that folder
  char temporary[NameCapacity];             // the temporary file's name in that folder
  char enginePath[TemporaryPathCapacity];   // the temporary file as an engine path
};

static PosixOutput output = {0, -1, -1, "", "", ""};
static unsigned temporaryCounter;

static void forgetOutput() {
  output.created = 0;
  if (output.folder >= 0) close(output.folder);
  if (output.file >= 0) close(output.file);
  output.folder = -1;
  output.file = -1;
  output.enginePath[0] = 0;
}

// What lies at the target already decides whether it may be replaced.
static int checkTarget(int folder, const char* name, FILE* archive) {
  struct stat target;
  if (fstatat(folder, name, &target, AT_SYMLINK_NOFOLLOW) != 0) return PlatformOutputOpened;
  struct stat read;
  if (archive != nullptr && fstat(fileno(archive), &read) == 0 && read.st_dev == target.st_dev &&
      read.st_ino == target.st_ino)
    return PlatformOutputIsArchive;
  if (S_ISDIR(target.st_mode)) return PlatformOutputRefused;
  if (S_ISCHR(target.st_mode)) return PlatformOutputCharacterDevice;
  // The process may run as root, which may write any file: the mode bits decide.
  if (S_ISREG(target.st_mode) && (target.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    return PlatformOutputRefused;
  return PlatformOutputOpened;
}

// A fresh name that nothing holds yet; O_EXCL with O_NOFOLLOW never opens what is there.
static int createTemporary(int folder) {
  for (int attempt = 0; attempt < 100; attempt++) {
    unsigned tag = ((unsigned)getpid() * 2654435761u + (unsigned)time(nullptr) + temporaryCounter++) & 0xFFFFFF;
    snprintf(output.temporary, sizeof output.temporary, "lv%06x.tmp", tag);
    sigset_t all, before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    int fd = openat(folder, output.temporary, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    int failure = errno;
    if (fd >= 0) output.created = 1;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (fd >= 0 || failure != EEXIST) return fd;
  }
  return -1;
}

// The engine path of the temporary file: path's folder part and the temporary name.
static void setEnginePath(const char* path) {
  const char* end = path + strlen(path);
  while (end > path && end[-1] != '\\' && end[-1] != '/') end--;
  size_t folderLength = (size_t)(end - path);
  if (folderLength + strlen(output.temporary) >= sizeof output.enginePath) folderLength = 0;
  memcpy(output.enginePath, path, folderLength);
  strcpy(output.enginePath + folderLength, output.temporary);
}

FILE* platformCreateOutput(const char* root, const char* path, FILE* archive, int* result) {
  platformDiscardOutput();
  int folder = openParentBeneath(root, path, output.target, sizeof output.target);
  if (folder < 0) {
    *result = folder == -ENOENT ? PlatformOutputPathNotFound : PlatformOutputRefused;
    return nullptr;
  }
  *result = checkTarget(folder, output.target, archive);
  output.folder = folder;
  int fd = *result == PlatformOutputOpened ? createTemporary(folder) : -1;
  if (fd >= 0) output.file = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  FILE* file = output.file >= 0 ? fdopen(fd, "w+b") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    platformDiscardOutput();
    forgetOutput();
    if (*result == PlatformOutputOpened) *result = PlatformOutputRefused;
    return nullptr;
  }
  setEnginePath(path);
  return file;
}

const char* platformOutputTemporary() { return output.enginePath; }

// Whether the temporary name still names the file written, and not something put there
// since.
static bool temporaryNameHoldsOutput() {
  struct stat named, written;
  return fstatat(output.folder, output.temporary, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         fstat(output.file, &written) == 0 && named.st_dev == written.st_dev && named.st_ino == written.st_ino;
}

bool platformCommitOutput(FILE* file, uint32_t dosTime, bool readOnly) {
  if (!output.created) return false;
  fflush(file);  // no write may follow the time
  setDescriptorTime(output.file, dosTime);
  setDescriptorReadOnly(output.file, readOnly);
  // A name that was taken over is left to whoever took it: nothing else is moved over
  // the target, and nothing of theirs is removed.
  bool ours = temporaryNameHoldsOutput();
  bool moved = ours && renameat(output.folder, output.temporary, output.folder, output.target) == 0;
  if (!moved && ours) unlinkat(output.folder, output.temporary, 0);
  forgetOutput();
  return moved;
}

void platformDiscardOutput() {
  if (!output.created) return;
  unlinkat(output.folder, output.temporary, 0);
  forgetOutput();
}
