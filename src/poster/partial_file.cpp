#include "poster/partial_file.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

char partialPath[4096];
volatile std::sig_atomic_t partialPathSet = 0;

}  // namespace

bool notePartialFile(const std::string& path) {
  if (path.size() >= sizeof partialPath) return false;
  // The fences keep the copy between the two flag stores, so that a handler
  // never sees the flag set over a half-copied path.
  partialPathSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(partialPath, path.c_str(), path.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  partialPathSet = 1;
  return true;
}

void forgetPartialFile() { partialPathSet = 0; }

void removePartialFile() {
  if (!partialPathSet) return;
#ifdef _WIN32
  DeleteFileA(partialPath);
#else
  unlink(partialPath);
#endif
}
