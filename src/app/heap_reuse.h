// How a run's large blocks of memory are had from the system. A run
// touches gigabytes of fresh memory (decoded photographs, textures,
// posters): page by page, each 4 KiB costs a fault, which on a virtual
// machine takes half of a run.
#ifndef POSTERGEN_APP_HEAP_REUSE_H_
#define POSTERGEN_APP_HEAP_REUSE_H_

#include <string>

// With glibc: large blocks come from the heap, which keeps what is freed,
// instead of from mmap, so that the same few buffers of every poster (the
// read-back target, the pixels, the filtered rows, the deflated file) are
// faulted in once; and every thread allocates from that one heap, so that
// what one thread frees another reuses. The peak stays what the run needs
// at once. Elsewhere nothing changes. Call before any thread starts.
void reuseLargeBlocks();

// GLIBC_TUNABLES with glibc's heap asked to use transparent huge pages,
// given its value now (null when unset); empty when that value already
// says whether to (the user's choice stands).
std::string tunablesWithHugePages(const char* current);

// With glibc on Linux, when the kernel gives transparent huge pages on
// request: starts this program again at once with GLIBC_TUNABLES asking
// for them, since glibc reads it only as a program starts. Returns when it
// need not or cannot (under valgrind, whose allocator is its own). Call
// first thing in main.
void restartWithHugePages(char** argv);

#endif  // POSTERGEN_APP_HEAP_REUSE_H_
