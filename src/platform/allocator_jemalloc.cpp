// jemalloc reads this string as the process starts, before main, and
// nothing else need be done: the programs link jemalloc on Linux, where it
// replaces the C library's allocator. Huge pages (thp:always) no longer
// pay: since photographs are decoded at their drawn size and the posters'
// buffers are reused, a run touches little fresh memory, and 2 MiB pages
// only rounded every block up (25 MiB more at the peak, no faster).
//   oversize_threshold:0    blocks of a poster's size stay in the common
//                           arena, whose freed pages are kept a while and
//                           reused, instead of one that returns them at once
//   narenas:1               one arena for every thread, so that a block a
//                           writer frees is reused by the main thread
// MALLOC_CONF, read after this, still lets a user override any of it.
extern "C" {
extern const char* malloc_conf;
const char* malloc_conf = "oversize_threshold:0,narenas:1";
}
