// jemalloc reads this string as the process starts, before main, and
// nothing else need be done: the programs link jemalloc on Linux, where it
// replaces the C library's allocator. A run touches gigabytes of fresh
// memory (decoded photographs, textures, posters); at a fault per 4 KiB
// page that is a third of a run on a virtual machine.
//   thp:always              every mapping is madvised for transparent huge
//                           pages, which the kernel grants on request
//   oversize_threshold:0    blocks of a poster's size stay in the common
//                           arena, whose freed pages are kept a while and
//                           reused, instead of one that returns them at once
//   narenas:1               one arena for every thread, so that a block a
//                           writer frees is reused by the main thread
// MALLOC_CONF, read after this, still lets a user override any of it.
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,oversize_threshold:0,narenas:1";
}
