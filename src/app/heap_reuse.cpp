#include "app/heap_reuse.h"

#include <cstdlib>
#include <fstream>
#include <string>

#ifdef __GLIBC__
#include <malloc.h>
#include <unistd.h>
#endif
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

namespace {

constexpr const char* kHugePagesTunable = "glibc.malloc.hugetlb";

#if defined(__GLIBC__) && defined(__linux__)
// The kernel backs a range with huge pages when the program asks
// (madvise), which glibc does when told to; "always" needs no asking.
bool hugePagesOnRequest() {
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  std::getline(setting, modes);
  return modes.find("[madvise]") != std::string::npos;
}
#endif

}  // namespace

void reuseLargeBlocks() {
#ifdef __GLIBC__
  // mmap's threshold has a ceiling of 32 MiB on 64-bit machines, below a
  // poster's 33 MB, so large blocks are kept by never trimming the heap.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, -1);
  mallopt(M_ARENA_MAX, 1);
#endif
}

std::string tunablesWithHugePages(const char* current) {
  const std::string setting = std::string(kHugePagesTunable) + "=1";
  if (!current || !*current) return setting;
  const std::string tunables = current;
  for (size_t start = 0; start <= tunables.size();) {
    size_t end = tunables.find(':', start);
    if (end == std::string::npos) end = tunables.size();
    const std::string item = tunables.substr(start, end - start);
    if (item.rfind(std::string(kHugePagesTunable) + "=", 0) == 0) return "";
    start = end + 1;
  }
  return tunables + ":" + setting;
}

void restartWithHugePages(char** argv) {
#if defined(__GLIBC__) && defined(__linux__)
  if (RUNNING_ON_VALGRIND || !hugePagesOnRequest()) return;
  const std::string tunables = tunablesWithHugePages(std::getenv("GLIBC_TUNABLES"));
  if (tunables.empty()) return;
  // The program's own path, not /proc/self/exe, so that it keeps its name
  // (in ps, top and for pkill).
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return;
  path[length] = '\0';
  if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0) return;
  execv(path, argv);
  // Without it, the run goes on as it is, on small pages.
#else
  (void)argv;
#endif
}
