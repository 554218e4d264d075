// The decoder's window in a 2 MiB-aligned block that the kernel may back with one huge
// page: the decoder's first stores then fault once instead of once per 4 KiB page (a
// dear exception on a virtual machine), and its scattered match sources share one TLB
// entry. Where huge pages are off, the advice is ignored and the pages come as usual.
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "platform/platform.h"

enum : uint32_t { HugePageSize = 2u << 20 };

unsigned char* platformAllocateWindow(uint32_t size) {
  if (size > HugePageSize) return nullptr;
  void* memory = nullptr;
  if (posix_memalign(&memory, HugePageSize, HugePageSize) != 0) return nullptr;
  madvise(memory, HugePageSize, MADV_HUGEPAGE);
  memset(memory, 0, size);
  return (unsigned char*)memory;
}
