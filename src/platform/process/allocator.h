// The C library's allocator, set for a process that validates many documents
// on several threads, one after another.
#pragma once

namespace morvik::platform {

// Each validation thread allocates and frees a few megabytes per document.
// With the allocator's defaults its arena shrinks after every document and
// grows again for the next (about one system call per document); with more
// headroom kept, it grows a few times per run. Peak memory is unchanged: the
// headroom is address space until it is touched, and what a very large
// document used is still returned once it is freed. Call once at start,
// before any thread is made. Does nothing where the C library has no such
// setting.
void tuneAllocatorForManyDocuments();

// Gives the memory the allocator holds free back to the system, wherever it
// lies in its arenas. For after a step that freed much at once (an
// extraction's bookkeeping of 100,000 entries is tens of megabytes), so that
// the next step's peak does not stand on it: freed small blocks below the
// arena's top are otherwise kept, and with the trim threshold above so is
// its top. A few milliseconds; nothing where the C library cannot.
void releaseFreeMemory();

} // namespace morvik::platform
