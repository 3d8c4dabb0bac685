#include "platform/whole_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/file_system.h"

namespace {

// The temporary files in progress, one slot each; more slots than the
// files any run writes at once.
constexpr int kSlots = 256;
char partialPath[kSlots][4096];
std::atomic<int> partialPathSet[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "read by signal handlers");

// Records path before its file is created; -1 when it is longer than a
// slot or every slot is taken, so that the record is never partial.
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

// ".result3.png.<pid>-<random>.partial": hidden, unique to this process.
std::string partialNameFor(const std::string& name, unsigned attempt) {
  static const unsigned long salt = std::random_device{}();
  char unique[48];
  std::snprintf(unique, sizeof unique, ".%lu-%08lx.partial", thisProcessId(),
                (salt + attempt * 0x9E3779B9UL) & 0xFFFFFFFFUL);
  return "." + name + unique;
}

// The temporary file and the first failure; later writes are skipped.
struct Partial {
  std::FILE* file = nullptr;
  WriteFailure failure;
  size_t unsynced = 0;  // bytes written since writeback was last started
};

constexpr size_t kWritebackEvery = 4 << 20;

bool writePartial(Partial& partial, const void* data, size_t size) {
  if (partial.failure) return false;
  errno = 0;
  if (std::fwrite(data, 1, size, partial.file) != size) {
    const int code = errno ? errno : EIO;
    partial.failure = {WriteFailure::Step::kWrite, code, std::strerror(code)};
    return false;
  }
  partial.unsynced += size;
  if (partial.unsynced >= kWritebackEvery) {
    startWriteback(partial.file);
    partial.unsynced = 0;
  }
  return true;
}

// Syncs and closes; the first failure is kept.
void closePartial(Partial& partial) {
  if (!partial.failure) syncFile(partial.file, partial.failure);
  errno = 0;
  if (std::fclose(partial.file) != 0 && !partial.failure) {
    const int code = errno ? errno : EIO;
    partial.failure = {WriteFailure::Step::kWrite, code, std::strerror(code)};
  }
}

}  // namespace

WriteFailure writeWholeFile(const FileDirectory& directory, const std::string& name,
                            const std::function<std::string(const ByteSink&)>& fill) {
  Partial partial;
  std::string partialName;
  int slot = -1;
  for (unsigned attempt = 0; !partial.file; ++attempt) {
    partialName = partialNameFor(name, attempt);
    slot = notePartialFile(pathIn(directory, partialName));
    if (slot < 0) return {WriteFailure::Step::kCreate, ENAMETOOLONG, "the file name is too long"};
    bool exists = false;
    WriteFailure created;
    partial.file = createNewFile(directory, partialName, exists, created);
    if (partial.file) break;
    forgetPartialFile(slot);
    if (!exists || attempt == 15) return created;
  }
  const std::string why =
      fill([&partial](const void* data, size_t size) { return writePartial(partial, data, size); });
  if (!why.empty() && !partial.failure) partial.failure = {WriteFailure::Step::kFill, 0, why};
  closePartial(partial);
  if (!partial.failure) renameFile(directory, partialName, name, partial.failure);
  if (partial.failure) removeFile(directory, partialName);
  forgetPartialFile(slot);
  return partial.failure;
}

void removePartialFiles() {
  for (int slot = 0; slot < kSlots; ++slot)
    if (partialPathSet[slot].load() == 1) removeFileAtPath(partialPath[slot]);
}
