#include "system/allocator.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void KeepFreedMemoryReturnable() {
#if defined(__GLIBC__)
    // The player opens and frees streams, decoders and outputs all day, each on threads that
    // come and go. glibc gives new threads arenas of their own (up to eight per core), and after
    // each large block is freed it raises the size from which blocks get mappings of their own,
    // so later buffers of a stream land inside the arenas' heaps, and what is freed there stays
    // with the process. Two arenas are plenty for a handful of threads that seldom allocate, and
    // a fixed threshold gives every buffer of 128 KiB or more back to the system when freed.
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}
