#include "poster/partial_file.h"

#include <atomic>
#include <csignal>
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

char partialPath[4096];
volatile std::sig_atomic_t partialPathSet = 0;

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
