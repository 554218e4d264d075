#include <windows.h>

#include "platform/dos_time.h"
#include "platform/platform.h"
#include "platform/win32/file_time_win32.h"

void platformSetReadOnly(const char* path, bool readOnly) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (readOnly)
    attributes |= FILE_ATTRIBUTE_READONLY;
  else
    attributes &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
  SetFileAttributesA(path, attributes);
}

bool dosTimeToFileTime(uint32_t dosTime, FILETIME* when) {
  DosTime decoded;
  if (!decodeDosTime(dosTime, &decoded)) return false;
  SYSTEMTIME local = {};
  local.wYear = (WORD)decoded.year;
  local.wMonth = (WORD)decoded.month;
  local.wDay = (WORD)decoded.day;
  local.wHour = (WORD)decoded.hour;
  local.wMinute = (WORD)decoded.minute;
  local.wSecond = (WORD)decoded.second;
  // Converted with the time-zone rules of that date, so daylight saving is decided
  // for the file's time and not for today.
  SYSTEMTIME universal;
  return TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) &&
         SystemTimeToFileTime(&universal, when);
}

bool platformSetFileTime(const char* path, uint32_t dosTime) {
  FILETIME when;
  if (!dosTimeToFileTime(dosTime, &when)) return false;
  HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool set = SetFileTime(file, nullptr, &when, &when) != 0;
  CloseHandle(file);
  return set;
}
