#include "platform/posix/beneath_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/posix_path.h"

bool beneathUsesOpenat2 = true;

enum : int { FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC };

static int openBeneathWithOpenat2(int rootFd, const char* relative) {
  struct open_how how;
  memset(&how, 0, sizeof how);
  how.flags = FolderFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd = syscall(SYS_openat2, rootFd, relative, &how, sizeof how);
  if (fd >= 0) return (int)fd;
  if (errno == EXDEV) return -ELOOP;  // would have left the root
  return -errno;
}

// One component at a time, never following a link: O_NOFOLLOW with O_PATH opens a
// link itself, which the check for a folder then refuses.
static int openBeneathByWalk(int rootFd, char* relative) {
  int fd = dup(rootFd);
  if (fd < 0) return -errno;
  char* save = nullptr;
  for (char* part = strtok_r(relative, "/", &save); part != nullptr; part = strtok_r(nullptr, "/", &save)) {
    if (strcmp(part, ".") == 0) continue;
    int next = strcmp(part, "..") == 0 ? -1 : openat(fd, part, FolderFlags | O_NOFOLLOW);
    int failure = strcmp(part, "..") == 0 ? ELOOP : errno;
    struct stat info;
    if (next >= 0 && (fstat(next, &info) != 0 || !S_ISDIR(info.st_mode))) {
      close(next);
      next = -1;
      failure = ELOOP;
    }
    close(fd);
    if (next < 0) return -(failure == ENOTDIR ? ELOOP : failure);
    fd = next;
  }
  return fd;
}

static int openFolder(const char* folder) {
  int fd = open(folder[0] != 0 ? folder : ".", FolderFlags);
  return fd >= 0 ? fd : -errno;
}

int openParentBeneath(const char* root, const char* path, char* leaf, size_t leafCapacity) {
  char nativeRoot[PosixPathCapacity];
  char native[PosixPathCapacity];
  toPosixPath(root, nativeRoot);
  toPosixPath(path, native);

  char* slash = strrchr(native, '/');
  const char* name = slash != nullptr ? slash + 1 : native;
  if (name[0] == 0 || strlen(name) >= leafCapacity) return -EINVAL;
  memcpy(leaf, name, strlen(name) + 1);

  size_t rootLength = strlen(nativeRoot);
  bool below = rootLength > 0 && nativeRoot[rootLength - 1] == '/' && slash != nullptr &&
               strncmp(native, nativeRoot, rootLength) == 0 && (size_t)(slash - native) + 1 >= rootLength;
  if (!below) {
    if (slash == nullptr) return openFolder("");
    if (slash == native) return openFolder("/");
    *slash = 0;
    return openFolder(native);
  }

  int rootFd = openFolder(nativeRoot);
  if (rootFd < 0) return rootFd;
  *slash = 0;
  char* relative = native + rootLength;
  if (relative >= slash) return rootFd;  // the leaf lies directly in the root
  int fd = -ENOSYS;
  if (beneathUsesOpenat2) fd = openBeneathWithOpenat2(rootFd, relative);
  // A sandbox whose filter predates openat2 (older container profiles) refuses it with
  // EPERM, which no path opened this way earns otherwise: the walk answers then.
  if (fd == -ENOSYS || fd == -EPERM) fd = openBeneathByWalk(rootFd, relative);
  close(rootFd);
  return fd;
}

// Each output's folder is opened beneath the destination and written into through that
// descriptor: nothing stays held between outputs.
void platformReleaseFolders() {}
