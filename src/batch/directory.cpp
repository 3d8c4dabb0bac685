#include "batch/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "poster/partial_file.h"

namespace {

const char kLockName[] = ".postergen-batch.lock";

Problem problemOf(int code, const std::string& what) {
  return Problem{code, what + ": " + std::strerror(code)};
}

// A temporary file beside name in directory, created exclusively.
UniqueFd createPartial(int directory, const std::string& name, std::string& partial,
                       Problem& problem) {
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    partial = partialNameFor(name, attempt);
    UniqueFd fd(openat(directory, partial.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd || errno != EEXIST) {
      if (!fd) problem = systemProblem("cannot create a temporary file beside " + name);
      return fd;
    }
  }
  problem = Problem{EEXIST, "cannot create a temporary file beside " + name};
  return UniqueFd();
}

Problem copyContents(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemProblem("cannot read the poster");
    if (n == 0) return Problem{};
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return systemProblem("cannot write the poster");
      done += w;
    }
  }
}

// Writes the temporary file's contents with fill, syncs it and renames it
// over name; on any failure the temporary file goes and name is untouched.
template <typename Fill>
Problem writeWhole(int directory, const std::string& name, const std::string& shownAs, Fill fill) {
  std::string partial;
  Problem problem;
  UniqueFd fd = createPartial(directory, name, partial, problem);
  if (!fd) return problem;
  problem = fill(fd.get());
  if (!problem && fsync(fd.get()) != 0) problem = systemProblem("cannot sync " + shownAs);
  if (!problem && close(fd.release()) != 0) problem = systemProblem("cannot write " + shownAs);
  if (!problem && renameat(directory, partial.c_str(), directory, name.c_str()) != 0)
    problem = systemProblem("cannot rename the temporary file to " + shownAs);
  if (problem) unlinkat(directory, partial.c_str(), 0);
  return problem;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

Problem systemProblem(const std::string& what) { return problemOf(errno, what); }

bool wantOfResources(const Problem& problem) {
  return problem.code == EMFILE || problem.code == ENFILE || problem.code == EAGAIN ||
         problem.code == ENOMEM;
}

UniqueFd openDirectory(const std::string& path, Problem& problem) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) problem = systemProblem("cannot open the directory " + path);
  return fd;
}

UniqueFd makePrivateDirectory(int parent, const std::string& name, const std::string& shownAs,
                              Problem& problem) {
  if (mkdirat(parent, name.c_str(), 0700) != 0) {
    problem = systemProblem("cannot create " + shownAs);
    return UniqueFd();
  }
  UniqueFd fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!fd || fstat(fd.get(), &info) != 0) {
    problem = systemProblem("cannot open " + shownAs);
    return UniqueFd();
  }
  // Swapped between the two calls for somebody else's directory.
  if (info.st_uid != geteuid() || (info.st_mode & 0077) != 0) {
    problem = Problem{EPERM, shownAs + " was replaced while it was being made"};
    return UniqueFd();
  }
  return fd;
}

Problem clearLeftover(int parent, const std::string& name, const std::string& shownAs) {
  struct stat info;
  if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Problem{} : systemProblem("cannot look at " + shownAs);
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid())
    return Problem{EEXIST, shownAs +
                               " is in the way: it is not a directory that postergen-batch made; "
                               "move it aside"};
  removeTree(parent, name);
  return Problem{};
}

UniqueFd createFile(int directory, const std::string& name, int mode, const std::string& shownAs,
                    Problem& problem) {
  UniqueFd fd(openat(directory, name.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND, mode));
  if (!fd) problem = systemProblem("cannot create " + shownAs);
  return fd;
}

Problem writeAll(int fd, const std::string& text, const std::string& shownAs) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return systemProblem("cannot write " + shownAs);
    done += static_cast<size_t>(n);
  }
  return Problem{};
}

Problem writeNewFile(int directory, const std::string& name, const std::string& text,
                     const std::string& shownAs) {
  Problem problem;
  UniqueFd fd = createFile(directory, name, 0644, shownAs, problem);
  if (!fd) return problem;
  problem = writeAll(fd.get(), text, shownAs);
  if (!problem && close(fd.release()) != 0) problem = systemProblem("cannot write " + shownAs);
  return problem;
}

Problem replaceFile(int directory, const std::string& name, const std::string& text,
                    const std::string& shownAs) {
  return writeWhole(directory, name, shownAs, [&](int fd) { return writeAll(fd, text, shownAs); });
}

std::string readSmallFile(int directory, const std::string& name, size_t limit) {
  UniqueFd fd(openat(directory, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!fd || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
  std::string text;
  char buffer[1 << 16];
  while (text.size() < limit) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  if (text.size() > limit) text.resize(limit);
  return text;
}

bool isRegularFile(int directory, const std::string& name) {
  struct stat info;
  return fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> listDirectory(int parent, const std::string& name) {
  std::vector<std::string> entries;
  // readdir takes the descriptor over, so the caller's stays its own.
  const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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

void removeTree(int parent, const std::string& name) {
  if (unlinkat(parent, name.c_str(), 0) == 0 || (errno != EISDIR && errno != EPERM)) return;
  UniqueFd fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return;
  for (const std::string& entry : listDirectory(fd.get(), ".")) removeTree(fd.get(), entry);
  unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

Problem moveFile(int fromDirectory, const std::string& from, int toDirectory, const std::string& to,
                 const std::string& shownAs) {
  if (renameat(fromDirectory, from.c_str(), toDirectory, to.c_str()) == 0) return Problem{};
  if (errno != EXDEV) return systemProblem("cannot move it to " + shownAs);
  UniqueFd source(openat(fromDirectory, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!source) return systemProblem("cannot open " + from);
  const Problem problem =
      writeWhole(toDirectory, to, shownAs, [&](int fd) { return copyContents(source.get(), fd); });
  if (!problem) unlinkat(fromDirectory, from.c_str(), 0);
  return problem;
}

UniqueFd lockDirectory(int directory, const std::string& shownAs, Problem& problem) {
  UniqueFd fd(openat(directory, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  // Where nobody may write, no batch can either: there is nothing to guard.
  if (!fd && (errno == EROFS || errno == EACCES)) return fd;
  if (!fd) {
    problem = systemProblem("cannot lock " + shownAs + " (" + kLockName + ")");
    return fd;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd.get(), F_SETLK, &lock) == 0) return fd;
  if (errno != EACCES && errno != EAGAIN) {
    problem = systemProblem("cannot lock " + shownAs + " (" + kLockName + ")");
    return UniqueFd();
  }
  std::string holder;
  if (fcntl(fd.get(), F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK)
    holder = " (process " + std::to_string(lock.l_pid) + ")";
  problem = Problem{EAGAIN, shownAs + " is in use by another postergen-batch" + holder};
  return UniqueFd();
}
