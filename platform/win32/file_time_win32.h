#pragma once

#include <stdint.h>
#include <windows.h>

// An MS-DOS local time as the system's universal file time, with the time-zone rules of
// that date; false for a time that names no real moment.
bool dosTimeToFileTime(uint32_t dosTime, FILETIME* when);
