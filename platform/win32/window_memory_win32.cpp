// The decoder's window: plain heap memory in the installer, where every byte of code
// counts and a single archive is decoded.
#include <stdlib.h>

#include "platform/platform.h"

unsigned char* platformAllocateWindow(uint32_t size) { return (unsigned char*)calloc(1, size); }
