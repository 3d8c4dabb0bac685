#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

const intptr_t kWorkingDirectory = AT_FDCWD;

namespace {

int fdOf(const FileDirectory& directory) { return static_cast<int>(directory.handle); }

void fail(WriteFailure& failure, WriteFailure::Step step) {
  const int code = errno ? errno : EIO;
  failure = {step, code, std::strerror(code)};
}

}  // namespace

unsigned long thisProcessId() { return static_cast<unsigned long>(getpid()); }

std::FILE* createNewFile(const FileDirectory& directory, const std::string& name, bool& exists,
                         WriteFailure& failure) {
  const int fd = openat(fdOf(directory), name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (!file) {
    exists = errno == EEXIST;
    fail(failure, WriteFailure::Step::kCreate);
    if (fd >= 0) {
      close(fd);
      unlinkat(fdOf(directory), name.c_str(), 0);
    }
  }
  return file;
}

void startWriteback(std::FILE* file) {
#ifdef __linux__
  if (std::fflush(file) == 0) sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

bool syncFile(std::FILE* file, WriteFailure& failure) {
  errno = 0;
  if (std::fflush(file) != 0) {
    fail(failure, WriteFailure::Step::kWrite);
    return false;
  }
  if (fsync(fileno(file)) == 0) return true;
  fail(failure, WriteFailure::Step::kSync);
  return false;
}

// renameat replaces a symbolic link at to with the file, leaving its target.
bool renameFile(const FileDirectory& directory, const std::string& from, const std::string& to,
                WriteFailure& failure) {
  if (renameat(fdOf(directory), from.c_str(), fdOf(directory), to.c_str()) == 0) return true;
  fail(failure, WriteFailure::Step::kRename);
  return false;
}

void removeFile(const FileDirectory& directory, const std::string& name) {
  unlinkat(fdOf(directory), name.c_str(), 0);
}

std::string pathIn(const FileDirectory& directory, const std::string& name) {
  return directory.path.empty() ? name : directory.path + "/" + name;
}

void removeFileAtPath(const char* path) { unlink(path); }

bool openFileDirectory(const std::string& path, FileDirectory& directory) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  directory = {fd, path};
  return true;
}
