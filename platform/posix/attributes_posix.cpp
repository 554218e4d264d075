#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "platform/dos_time.h"
#include "platform/platform.h"
#include "platform/posix/file_info_posix.h"
#include "platform/posix/posix_path.h"

// Read-only takes every write permission away; writable gives the owner's back.
static mode_t withReadOnly(mode_t mode, bool readOnly) {
  mode &= 07777;
  return readOnly ? (mode & ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
}

// Both times of a file set to dosTime read as local time; false for an invalid date.
static bool toFileTimes(uint32_t dosTime, struct timespec times[2]) {
  DosTime decoded;
  if (!decodeDosTime(dosTime, &decoded)) return false;
  struct tm local = {};
  local.tm_year = decoded.year - 1900;
  local.tm_mon = decoded.month - 1;
  local.tm_mday = decoded.day;
  local.tm_hour = decoded.hour;
  local.tm_min = decoded.minute;
  local.tm_sec = decoded.second;
  local.tm_isdst = -1;  // the system decides whether daylight saving applies then
  time_t when = mktime(&local);
  if (when == (time_t)-1) return false;
  times[0] = times[1] = {when, 0};
  return true;
}

void platformSetReadOnly(const char* path, bool readOnly) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  struct stat info;
  if (stat(native, &info) == 0) chmod(native, withReadOnly(info.st_mode, readOnly));
}

bool platformSetFileTime(const char* path, uint32_t dosTime) {
  struct timespec times[2];
  if (!toFileTimes(dosTime, times)) return false;
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  return utimensat(AT_FDCWD, native, times, 0) == 0;
}

void setDescriptorReadOnly(int fd, bool readOnly) {
  struct stat info;
  if (fstat(fd, &info) == 0) fchmod(fd, withReadOnly(info.st_mode, readOnly));
}

bool setDescriptorTime(int fd, uint32_t dosTime) {
  struct timespec times[2];
  return toFileTimes(dosTime, times) && futimens(fd, times) == 0;
}
