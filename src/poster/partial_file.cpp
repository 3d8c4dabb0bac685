#include "poster/partial_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// One slot per export in flight; more than the CPUs any run uses.
constexpr int kSlots = 256;
char partialPath[kSlots][4096];
std::atomic<int> partialPathSet[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "read by signal handlers");

#ifdef _WIN32
unsigned long processId() { return static_cast<unsigned long>(_getpid()); }
#else
unsigned long processId() { return static_cast<unsigned long>(getpid()); }
#endif

}  // namespace

std::string partialNameFor(const std::string& path, unsigned attempt) {
  static const unsigned long salt = std::random_device{}();
  const size_t slash = path.find_last_of("/\\");
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  char unique[48];
  std::snprintf(unique, sizeof unique, ".%lu-%08lx.partial", processId(),
                (salt + attempt * 0x9E3779B9UL) & 0xFFFFFFFFUL);
  return path.substr(0, nameAt) + "." + path.substr(nameAt) + unique;
}

int notePartialFile(const std::string& path) {
  if (path.size() >= sizeof partialPath[0]) return -1;
  for (int slot = 0; slot < kSlots; ++slot) {
    // A free slot is claimed (2) before the copy and published (1) after
    // it, so that a handler never sees a half-copied path.
    int free = 0;
    if (!partialPathSet[slot].compare_exchange_strong(free, 2)) continue;
    std::memcpy(partialPath[slot], path.c_str(), path.size() + 1);
    partialPathSet[slot].store(1);
    return slot;
  }
  return -1;
}

void forgetPartialFile(int slot) {
  if (slot >= 0 && slot < kSlots) partialPathSet[slot].store(0);
}

void removePartialFiles() {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (partialPathSet[slot].load() != 1) continue;
#ifdef _WIN32
    DeleteFileA(partialPath[slot]);
#else
    unlink(partialPath[slot]);
#endif
  }
}
