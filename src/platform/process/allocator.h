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

} // namespace morvik::platform
