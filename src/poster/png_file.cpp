#include "poster/png_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "poster/partial_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The platform's file operations: an exclusive create with the permissions
// a plain fopen gives, a sync to the disk, and an atomic replace.
#ifdef _WIN32
std::string lastErrorText() {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  size_t n = std::strlen(text);
  while (n && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = 0;
  return text;
}

// Shared for deletion, so that the console control handler can remove the
// file while it is still open.
std::FILE* createNew(const std::string& path, bool& exists, std::string& error) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    exists = GetLastError() == ERROR_FILE_EXISTS;
    error = lastErrorText();
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (!file) {
    error = std::strerror(errno);
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
  }
  return file;
}

void startWriteback(std::FILE*) {}

bool syncToDisk(std::FILE* file) {
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))))) return true;
  errno = EIO;
  return false;
}

bool replace(const std::string& from, const std::string& to, std::string& error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  error = lastErrorText();
  return false;
}
#else
std::FILE* createNew(const std::string& path, bool& exists, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (!file) {
    exists = errno == EEXIST;
    error = std::strerror(errno);
    if (fd >= 0) close(fd);
  }
  return file;
}

bool syncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

// Starts the disk writing what has been written so far, without waiting,
// so that the sync at the end finds little left to do.
void startWriteback(std::FILE* file) {
#ifdef __linux__
  if (std::fflush(file) == 0) sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

// rename replaces a symbolic link at to with the file, leaving its target.
bool replace(const std::string& from, const std::string& to, std::string& error) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  error = std::strerror(errno);
  return false;
}
#endif

// The temporary file the chunks go to. The first failure is kept, with the
// OS's reason, and later writes are skipped.
struct PartialPng {
  std::FILE* file;
  int error;
  size_t unsynced;  // bytes written since writeback was last started
};

constexpr size_t kWritebackEvery = 4 << 20;

bool writePartial(PartialPng& png, const void* data, size_t size) {
  if (png.error) return false;
  errno = 0;
  if (std::fwrite(data, 1, size, png.file) != size) png.error = errno ? errno : EIO;
  png.unsynced += size;
  if (png.unsynced >= kWritebackEvery) {
    startWriteback(png.file);
    png.unsynced = 0;
  }
  return !png.error;
}

// Flushes, syncs and closes; the first failure is kept.
bool closePartial(PartialPng& png) {
  errno = 0;
  if (std::fflush(png.file) != 0 && !png.error) png.error = errno ? errno : EIO;
  if (!png.error && !syncToDisk(png.file)) png.error = errno ? errno : EIO;
  if (std::fclose(png.file) != 0 && !png.error) png.error = errno ? errno : EIO;
  return !png.error;
}

// Creates the temporary file under a name no other process uses.
std::FILE* createPartial(const std::string& path, std::string& partial, int& slot,
                         std::string& error) {
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    partial = partialNameFor(path, attempt);
    slot = notePartialFile(partial);
    if (slot < 0) {
      error = "the file name is too long";
      return nullptr;
    }
    bool exists = false;
    if (std::FILE* file = createNew(partial, exists, error)) return file;
    forgetPartialFile(slot);
    slot = -1;
    if (!exists) return nullptr;
  }
  return nullptr;
}

}  // namespace

bool writePngFile(const DeflatedPng& image, const std::string& path, std::string& error) {
  std::string partial;
  std::string reason;
  int slot = -1;
  PartialPng png{createPartial(path, partial, slot, reason), 0, 0};
  if (!png.file) {
    error = path + ": " + reason;
    return false;
  }
  writePngChunks(image,
                 [&png](const void* data, size_t size) { return writePartial(png, data, size); });
  const bool closed = closePartial(png);
  if (!closed) reason = std::strerror(png.error);
  const bool written = closed && replace(partial, path, reason);
  if (!written) {
    std::remove(partial.c_str());
    error = path + ": " + reason;
  }
  forgetPartialFile(slot);
  return written;
}
