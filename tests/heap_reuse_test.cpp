// Asking glibc for huge pages without overriding what the user set.
#include "app/heap_reuse.h"

#include <gtest/gtest.h>

namespace {

TEST(HeapReuse, AddsTheHugePagesTunableUnlessItIsSet) {
  const struct {
    const char* now;
    const char* then;
  } cases[] = {
      {nullptr, "glibc.malloc.hugetlb=1"},
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=0", ""},
      {"glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1", ""},
      // A longer name that starts the same is another tunable.
      {"glibc.malloc.hugetlbx=0", "glibc.malloc.hugetlbx=0:glibc.malloc.hugetlb=1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tunablesWithHugePages(c.now), c.then) << (c.now ? c.now : "(unset)");
}

}  // namespace
