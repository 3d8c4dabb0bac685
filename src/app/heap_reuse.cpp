#include "app/heap_reuse.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

void reuseLargeBlocks() {
#ifdef __GLIBC__
  // mmap's threshold has a ceiling of 32 MiB on 64-bit machines, below a
  // poster's 33 MB, so large blocks are kept by never trimming the heap.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, -1);
#endif
}
