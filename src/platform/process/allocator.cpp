// The allocator's settings, through glibc's mallopt.
#include "platform/process/allocator.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace morvik::platform {

void tuneAllocatorForManyDocuments() {
#if defined(__GLIBC__)
    // Grow an arena by at least this much at a time.
    constexpr int kTopPad = 16 << 20;
    // Give back free memory at an arena's top only above this much.
    constexpr int kTrimThreshold = 32 << 20;
    (void)::mallopt(M_TOP_PAD, kTopPad);
    (void)::mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
#endif
}

void releaseFreeMemory() {
#if defined(__GLIBC__)
    (void)::malloc_trim(0);
#endif
}

} // namespace morvik::platform
