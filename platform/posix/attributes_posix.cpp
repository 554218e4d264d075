#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>

#include "platform/dos_time.h"
#include "platform/platform.h"
#include "platform/posix/posix_path.h"

// Read-only takes every write permission away; writable gives the owner's back.
void platformSetReadOnly(const char* path, bool readOnly) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  struct stat info;
  if (stat(native, &info) != 0) return;
  mode_t mode = info.st_mode & 07777;
  mode = readOnly ? (mode & ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  chmod(native, mode);
}

bool platformSetFileTime(const char* path, uint32_t dosTime) {
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
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  struct timeval times[2] = {{when, 0}, {when, 0}};
  return utimes(native, times) == 0;
}
