// Keeps the heap's large blocks for reuse. Every poster allocates and
// frees the same few buffers of 33 MB and more (the read-back target, the
// pixels, the filtered rows, the deflated file); returned to the system
// after each poster, they cost a page fault per 4 KiB again for the next
// one, which on a virtual machine takes a fifth of a run.
#ifndef POSTERGEN_APP_HEAP_REUSE_H_
#define POSTERGEN_APP_HEAP_REUSE_H_

// With glibc: large blocks come from the heap, which keeps what is freed,
// instead of from mmap; the peak stays what the run needs at once.
// Elsewhere nothing changes.
void reuseLargeBlocks();

#endif  // POSTERGEN_APP_HEAP_REUSE_H_
