#include <dirent.h>
#include <unistd.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/platform.h"
#include "platform/posix/beneath_posix.h"
#include "platform/posix/posix_path.h"

int platformMakeDirectory(const char* root, const char* path) {
  char leaf[PosixPathCapacity];
  int folder = openParentBeneath(root, path, leaf, sizeof leaf);
  if (folder < 0) return folder == -ENOENT ? PlatformPathNotFound : PlatformOtherFailure;
  int made = mkdirat(folder, leaf, 0777);
  int failure = errno;
  // Only a folder is one already there: a file or a link in its place leaves it missing.
  struct stat there;
  bool folderThere = made != 0 && failure == EEXIST && fstatat(folder, leaf, &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(there.st_mode);
  close(folder);
  if (made == 0) return PlatformDirectoryMade;
  if (failure == ENOENT) return PlatformPathNotFound;
  if (folderThere) return PlatformAlreadyExists;
  return PlatformOtherFailure;
}

// Hidden, system and archive bits mean nothing here, and a read-only folder still
// takes new files where these archives come from, so folders stay as made.
void platformSetDirectoryAttributes(const char*, uint32_t) {}

struct FolderScan {
  DIR* folder;
};

FolderScan* platformOpenFolder(const char* folder) {
  char native[PosixPathCapacity];
  toPosixPath(folder, native);
  FolderScan* scan = (FolderScan*)malloc(sizeof(FolderScan));
  if (scan == nullptr) return nullptr;
  scan->folder = opendir(native);
  if (scan->folder == nullptr) {
    free(scan);
    return nullptr;
  }
  return scan;
}

const char* platformReadFolder(FolderScan* scan) {
  struct dirent* entry = readdir(scan->folder);
  return entry != nullptr ? entry->d_name : nullptr;
}

void platformCloseFolder(FolderScan* scan) {
  closedir(scan->folder);
  free(scan);
}

bool platformChangeDirectory(const char* path) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  return chdir(native) == 0;
}
