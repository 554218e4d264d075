// The time and read-only bit of a file, through its name or through a descriptor.
#pragma once

#include <stdint.h>
#include <sys/types.h>

// Gives the file open as fd an MS-DOS date and time read as local time (last access
// and last write). False, and nothing changed, when the date is invalid or the file
// cannot be touched.
bool setDescriptorTime(int fd, uint32_t dosTime);
// Takes every write permission away from the file open as fd, or gives the owner's back.
void setDescriptorReadOnly(int fd, bool readOnly);
