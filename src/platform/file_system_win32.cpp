// Windows has no *at calls: names are joined to the directory's path, and
// every call is a wide one, so that paths in any script work.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"
#include "platform/text_win32.h"

const intptr_t kWorkingDirectory = -1;

namespace {

std::wstring widePath(const FileDirectory& directory, const std::string& name) {
  return widen(pathIn(directory, name));
}

void fail(WriteFailure& failure, WriteFailure::Step step) {
  const DWORD code = GetLastError();
  failure = {step, static_cast<int>(code), systemMessage(code)};
}

}  // namespace

unsigned long thisProcessId() { return static_cast<unsigned long>(_getpid()); }

// Shared for deletion, so that postergen's console control handler can
// remove the file while it is still open.
std::FILE* createNewFile(const FileDirectory& directory, const std::string& name, bool& exists,
                         WriteFailure& failure) {
  HANDLE handle =
      CreateFileW(widePath(directory, name).c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    exists = GetLastError() == ERROR_FILE_EXISTS;
    fail(failure, WriteFailure::Step::kCreate);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (!file) {
    failure = {WriteFailure::Step::kCreate, errno, std::strerror(errno)};
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
    removeFile(directory, name);
  }
  return file;
}

void startWriteback(std::FILE*) {}

bool syncFile(std::FILE* file, WriteFailure& failure) {
  errno = 0;
  if (std::fflush(file) != 0) {
    const int code = errno ? errno : EIO;
    failure = {WriteFailure::Step::kWrite, code, std::strerror(code)};
    return false;
  }
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))))) return true;
  fail(failure, WriteFailure::Step::kSync);
  return false;
}

bool renameFile(const FileDirectory& directory, const std::string& from, const std::string& to,
                WriteFailure& failure) {
  if (MoveFileExW(widePath(directory, from).c_str(), widePath(directory, to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  fail(failure, WriteFailure::Step::kRename);
  return false;
}

void removeFile(const FileDirectory& directory, const std::string& name) {
  DeleteFileW(widePath(directory, name).c_str());
}

std::string pathIn(const FileDirectory& directory, const std::string& name) {
  return directory.path.empty() ? name : directory.path + "\\" + name;
}

// Called from the console control handler's own thread, where memory may
// be allocated.
void removeFileAtPath(const char* path) { DeleteFileW(widen(path).c_str()); }

bool openFileDirectory(const std::string& path, FileDirectory& directory) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  directory = {kWorkingDirectory, path};
  return true;
}
