#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "batch/platform/directory.h"

namespace {

const char kLockName[] = ".postergen-batch.lock";

int fdOf(const Directory& directory) { return static_cast<int>(directory.handle.get()); }
int fdOf(const Handle& handle) { return static_cast<int>(handle.get()); }

std::string pathOf(const Directory& directory, const std::string& name) {
  return joinPath(directory.path, name);
}

}  // namespace

std::string joinPath(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

void closeHandleValue(intptr_t value) { close(static_cast<int>(value)); }

Problem systemProblem(const std::string& what) {
  const int code = errno;
  return Problem{code, what + ": " + std::strerror(code)};
}

bool wantOfResources(const Problem& problem) {
  return problem.code == EMFILE || problem.code == ENFILE || problem.code == EAGAIN ||
         problem.code == ENOMEM;
}

Directory openDirectory(const std::string& path, Problem& problem) {
  Directory directory{path, Handle(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
  if (!directory) problem = systemProblem("cannot open the directory " + path);
  return directory;
}

Directory openSubdirectory(const Directory& parent, const std::string& name, Problem& problem) {
  Directory directory{
      pathOf(parent, name),
      Handle(openat(fdOf(parent), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))};
  if (!directory) problem = systemProblem("cannot open the directory " + directory.path);
  return directory;
}

Directory makePrivateDirectory(const Directory& parent, const std::string& name, Problem& problem) {
  const std::string path = pathOf(parent, name);
  if (mkdirat(fdOf(parent), name.c_str(), 0700) != 0) {
    problem = systemProblem("cannot create " + path);
    return Directory();
  }
  Directory made{path, Handle(openat(fdOf(parent), name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))};
  struct stat info;
  if (!made || fstat(fdOf(made), &info) != 0) {
    problem = systemProblem("cannot open " + path);
    return Directory();
  }
  // Swapped between the two calls for somebody else's directory.
  if (info.st_uid != geteuid() || (info.st_mode & 0077) != 0) {
    problem = Problem{EPERM, path + " was replaced while it was being made"};
    return Directory();
  }
  return made;
}

Directory openOrMakeSubdirectory(const Directory& parent, const std::string& name,
                                 Problem& problem) {
  if (mkdirat(fdOf(parent), name.c_str(), 0777) != 0 && errno != EEXIST) {
    problem = systemProblem("cannot create " + pathOf(parent, name));
    return Directory();
  }
  return openSubdirectory(parent, name, problem);
}

Problem clearLeftover(const Directory& parent, const std::string& name) {
  struct stat info;
  if (fstatat(fdOf(parent), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Problem{} : systemProblem("cannot look at " + pathOf(parent, name));
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid())
    return Problem{EEXIST, pathOf(parent, name) +
                               " is in the way: it is not a directory that postergen-batch made; "
                               "move it aside"};
  removeTree(parent, name);
  return Problem{};
}

Handle createFile(const Directory& directory, const std::string& name, Problem& problem) {
  Handle fd(openat(fdOf(directory), name.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND, 0644));
  if (!fd) problem = systemProblem("cannot create " + pathOf(directory, name));
  return fd;
}

Problem writeAll(const Handle& file, const std::string& text, const std::string& shownAs) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fdOf(file), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemProblem("cannot write " + shownAs);
    done += static_cast<size_t>(n);
  }
  return Problem{};
}

Problem writeNewFile(const Directory& directory, const std::string& name, const std::string& text) {
  Problem problem;
  Handle fd = createFile(directory, name, problem);
  if (!fd) return problem;
  problem = writeAll(fd, text, pathOf(directory, name));
  if (!problem && close(static_cast<int>(fd.release())) != 0)
    problem = systemProblem("cannot write " + pathOf(directory, name));
  return problem;
}

FileKind kindOf(const Directory& directory, const std::string& name) {
  struct stat info;
  if (fstatat(fdOf(directory), name.c_str(), &info, 0) != 0) return FileKind::kMissing;
  if (S_ISREG(info.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(info.st_mode)) return FileKind::kDirectory;
  if (S_ISFIFO(info.st_mode)) return FileKind::kFifo;
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return FileKind::kDevice;
  return FileKind::kOther;
}

bool modifiedTime(const Directory& directory, const std::string& name, int64_t& nanoseconds) {
  struct stat info;
  if (fstatat(fdOf(directory), name.c_str(), &info, 0) != 0) return false;
  nanoseconds = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

bool isRegularFile(const Directory& directory, const std::string& name) {
  struct stat info;
  return fstatat(fdOf(directory), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode);
}

std::FILE* openRegularFile(const Directory& directory, const std::string& name, bool followLinks) {
  Handle fd(openat(fdOf(directory), name.c_str(),
                   O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW)));
  struct stat info;
  if (!fd || fstat(fdOf(fd), &info) != 0) return nullptr;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* file = fdopen(fdOf(fd), "rb");
  if (file) fd.release();
  return file;
}

std::vector<std::string> listDirectory(const Directory& directory, const std::string& name) {
  std::vector<std::string> entries;
  // readdir takes the descriptor over, so the caller's stays its own.
  const int fd =
      openat(fdOf(directory), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return entries;
  DIR* listing = fdopendir(fd);
  if (!listing) {
    close(fd);
    return entries;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string entryName = entry->d_name;
    if (entryName != "." && entryName != "..") entries.push_back(entryName);
  }
  closedir(listing);
  return entries;
}

void removeTree(const Directory& parent, const std::string& name) {
  if (unlinkat(fdOf(parent), name.c_str(), 0) == 0 || (errno != EISDIR && errno != EPERM)) return;
  Problem ignored;
  const Directory inside = openSubdirectory(parent, name, ignored);
  if (!inside) return;
  for (const std::string& entry : listDirectory(inside, ".")) removeTree(inside, entry);
  unlinkat(fdOf(parent), name.c_str(), AT_REMOVEDIR);
}

Problem linkTo(const Directory& directory, const std::string& name, const std::string& target) {
  if (symlinkat(target.c_str(), fdOf(directory), name.c_str()) != 0)
    return systemProblem("cannot link " + pathOf(directory, name));
  return Problem{};
}

Problem moveFile(const Directory& fromDirectory, const std::string& from,
                 const Directory& toDirectory, const std::string& to) {
  if (renameat(fdOf(fromDirectory), from.c_str(), fdOf(toDirectory), to.c_str()) == 0)
    return Problem{};
  if (errno != EXDEV) return systemProblem("cannot move it to " + pathOf(toDirectory, to));
  const Problem problem = copyWhole(fromDirectory, from, toDirectory, to);
  if (!problem) unlinkat(fdOf(fromDirectory), from.c_str(), 0);
  return problem;
}

Handle lockDirectory(const Directory& directory, Problem& problem) {
  const std::string shownAs = directory.path + " (" + kLockName + ")";
  Handle fd(openat(fdOf(directory), kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  // Where nobody may write, no batch can either: there is nothing to guard.
  if (!fd && (errno == EROFS || errno == EACCES)) return fd;
  if (!fd) {
    problem = systemProblem("cannot lock " + shownAs);
    return fd;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fdOf(fd), F_SETLK, &lock) == 0) return fd;
  if (errno != EACCES && errno != EAGAIN) {
    problem = systemProblem("cannot lock " + shownAs);
    return Handle();
  }
  std::string holder;
  if (fcntl(fdOf(fd), F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK)
    holder = " (process " + std::to_string(lock.l_pid) + ")";
  problem = Problem{EAGAIN, directory.path + " is in use by another postergen-batch" + holder};
  return Handle();
}
