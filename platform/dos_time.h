// MS-DOS date and time: bits 0-4 seconds / 2, 5-10 minutes, 11-15 hours, 16-20 day,
// 21-24 month, 25-31 years since 1980.
#pragma once

#include <stdint.h>

struct DosTime {
  int year, month, day, hour, minute, second;
};

inline bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Decodes dosTime; false when it is not a real date and time (month 0 or above 12, a
// day outside the month, hour above 23, minute above 59, seconds field 30 or more),
// which the Windows conversion refuses too.
inline bool decodeDosTime(uint32_t dosTime, DosTime* out) {
  static const int daysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  out->second = (int)(dosTime & 0x1F) * 2;
  out->minute = (int)(dosTime >> 5) & 0x3F;
  out->hour = (int)(dosTime >> 11) & 0x1F;
  out->day = (int)(dosTime >> 16) & 0x1F;
  out->month = (int)(dosTime >> 21) & 0x0F;
  out->year = 1980 + (int)(dosTime >> 25);
  if (out->month < 1 || out->month > 12 || out->day < 1) return false;
  int monthLength = daysInMonth[out->month - 1] + (out->month == 2 && isLeapYear(out->year));
  return out->day <= monthLength && out->hour <= 23 && out->minute <= 59 && out->second < 60;
}
