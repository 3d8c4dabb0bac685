// Windows has no *at calls: a Directory is a handle opened without
// FILE_SHARE_DELETE, which keeps the directory from being renamed, removed
// or replaced while the batch holds it, and names are joined to its path.
// Every call is a wide one, so paths in any script work.
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "batch/platform/directory.h"
#include "platform/text_win32.h"

namespace {

const char kLockName[] = ".postergen-batch.lock";

HANDLE handleOf(const Handle& handle) { return reinterpret_cast<HANDLE>(handle.get()); }

std::string pathOf(const Directory& directory, const std::string& name) {
  return name == "." ? directory.path : joinPath(directory.path, name);
}

std::wstring widePath(const Directory& directory, const std::string& name) {
  return widen(pathOf(directory, name));
}

Problem problemOf(DWORD code, const std::string& what) {
  return Problem{static_cast<int>(code), what + ": " + systemMessage(code)};
}

DWORD attributesOf(const Directory& directory, const std::string& name) {
  return GetFileAttributesW(widePath(directory, name).c_str());
}

bool isLinkOrDirectory(DWORD attributes) {
  return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

Directory openDirectoryAt(const std::string& path, bool followLinks, Problem& problem) {
  HANDLE handle = CreateFileW(
      widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  Directory directory{path, Handle(reinterpret_cast<intptr_t>(handle))};
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE) {
    problem = systemProblem("cannot open the directory " + path);
  } else if (!GetFileInformationByHandle(handle, &info) ||
             !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
             (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    problem = Problem{ERROR_DIRECTORY, path + " is not a directory"};
    directory = Directory();
  }
  return directory;
}

Handle createNew(const std::wstring& path, DWORD access) {
  HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return handle == INVALID_HANDLE_VALUE ? Handle() : Handle(reinterpret_cast<intptr_t>(handle));
}

}  // namespace

std::string joinPath(const std::string& directory, const std::string& name) {
  return directory + "\\" + name;
}

void closeHandleValue(intptr_t value) { CloseHandle(reinterpret_cast<HANDLE>(value)); }

Problem systemProblem(const std::string& what) { return problemOf(GetLastError(), what); }

bool wantOfResources(const Problem& problem) {
  switch (problem.code) {
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT: return true;
    default: return false;
  }
}

Directory openDirectory(const std::string& path, Problem& problem) {
  return openDirectoryAt(path, true, problem);
}

Directory openSubdirectory(const Directory& parent, const std::string& name, Problem& problem) {
  return openDirectoryAt(pathOf(parent, name), false, problem);
}

Directory makePrivateDirectory(const Directory& parent, const std::string& name, Problem& problem) {
  if (!CreateDirectoryW(widePath(parent, name).c_str(), nullptr)) {
    problem = systemProblem("cannot create " + pathOf(parent, name));
    return Directory();
  }
  return openSubdirectory(parent, name, problem);
}

Directory openOrMakeSubdirectory(const Directory& parent, const std::string& name,
                                 Problem& problem) {
  if (!CreateDirectoryW(widePath(parent, name).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    problem = systemProblem("cannot create " + pathOf(parent, name));
    return Directory();
  }
  return openSubdirectory(parent, name, problem);
}

Problem clearLeftover(const Directory& parent, const std::string& name) {
  const DWORD attributes = attributesOf(parent, name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Problem{};
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return Problem{ERROR_ALREADY_EXISTS,
                   pathOf(parent, name) +
                       " is in the way: it is not a directory that postergen-batch made; move it "
                       "aside"};
  removeTree(parent, name);
  return Problem{};
}

Handle createFile(const Directory& directory, const std::string& name, Problem& problem) {
  Handle file = createNew(widePath(directory, name), FILE_APPEND_DATA);
  if (!file) problem = systemProblem("cannot create " + pathOf(directory, name));
  return file;
}

Problem writeAll(const Handle& file, const std::string& text, const std::string& shownAs) {
  for (size_t done = 0; done < text.size();) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 30));
    if (!WriteFile(handleOf(file), text.data() + done, chunk, &written, nullptr))
      return systemProblem("cannot write " + shownAs);
    done += written;
  }
  return Problem{};
}

Problem writeNewFile(const Directory& directory, const std::string& name, const std::string& text) {
  Problem problem;
  const Handle file = createFile(directory, name, problem);
  return file ? writeAll(file, text, pathOf(directory, name)) : problem;
}

FileKind kindOf(const Directory& directory, const std::string& name) {
  const DWORD attributes = attributesOf(directory, name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return FileKind::kDevice;
  return FileKind::kRegular;
}

bool modifiedTime(const Directory& directory, const std::string& name, int64_t& nanoseconds) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(widePath(directory, name).c_str(), GetFileExInfoStandard, &data))
    return false;
  const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
  nanoseconds = static_cast<int64_t>(ticks) * 100;
  return true;
}

bool isRegularFile(const Directory& directory, const std::string& name) {
  const DWORD attributes = attributesOf(directory, name);
  return attributes != INVALID_FILE_ATTRIBUTES && !isLinkOrDirectory(attributes);
}

std::FILE* openRegularFile(const Directory& directory, const std::string& name, bool followLinks) {
  const DWORD attributes = attributesOf(directory, name);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    errno = ENOENT;
    return nullptr;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    errno = EINVAL;
    return nullptr;
  }
  return _wfopen(widePath(directory, name).c_str(), L"rb");
}

std::vector<std::string> listDirectory(const Directory& directory, const std::string& name) {
  std::vector<std::string> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((widePath(directory, name) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string entry = narrow(found.cFileName);
    if (entry != "." && entry != "..") entries.push_back(entry);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

void removeTree(const Directory& parent, const std::string& name) {
  const std::wstring path = widePath(parent, name);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileW(path.c_str());
    return;
  }
  // A link to a directory goes by itself, with nothing it points to.
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    const Directory inside{pathOf(parent, name), Handle()};
    for (const std::string& entry : listDirectory(inside, ".")) removeTree(inside, entry);
  }
  RemoveDirectoryW(path.c_str());
}

Problem linkTo(const Directory& directory, const std::string& name, const std::string& target) {
  const std::wstring link = widePath(directory, name);
  if (CreateHardLinkW(link.c_str(), widen(target).c_str(), nullptr)) return Problem{};
  // FAT and exFAT have no hard links, nor has one volume to another.
  if (CopyFileW(widen(target).c_str(), link.c_str(), TRUE)) return Problem{};
  return systemProblem("cannot link or copy " + target + " to " + pathOf(directory, name));
}

Problem moveFile(const Directory& fromDirectory, const std::string& from,
                 const Directory& toDirectory, const std::string& to) {
  const std::wstring source = widePath(fromDirectory, from);
  if (MoveFileExW(source.c_str(), widePath(toDirectory, to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return Problem{};
  if (GetLastError() != ERROR_NOT_SAME_DEVICE)
    return systemProblem("cannot move it to " + pathOf(toDirectory, to));
  const Problem problem = copyWhole(fromDirectory, from, toDirectory, to);
  if (!problem) DeleteFileW(source.c_str());
  return problem;
}

Handle lockDirectory(const Directory& directory, Problem& problem) {
  const std::wstring path = widePath(directory, kLockName);
  // Others may read who holds it, but nobody else may open it for writing.
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (lock != INVALID_HANDLE_VALUE) {
    Handle held(reinterpret_cast<intptr_t>(lock));
    SetFilePointer(lock, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(lock);
    writeAll(held, std::to_string(GetCurrentProcessId()) + "\n", kLockName);
    return held;
  }
  const DWORD error = GetLastError();
  // Where nobody may write, no batch can either: there is nothing to guard.
  if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) return Handle();
  if (error != ERROR_SHARING_VIOLATION) {
    problem = problemOf(error, "cannot lock " + directory.path + " (" + kLockName + ")");
    return Handle();
  }
  std::string holder;
  if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
    char digits[32] = "";
    if (std::fgets(digits, sizeof digits, file) && std::atol(digits) > 0)
      holder = " (process " + std::to_string(std::atol(digits)) + ")";
    std::fclose(file);
  }
  problem = Problem{static_cast<int>(error),
                    directory.path + " is in use by another postergen-batch" + holder};
  return Handle();
}
