// The batch's own folders and the files it reads and moves: every file in
// its folders is made relative to a directory it holds open, never by a path
// that a neighbour could turn into a link halfway through. On POSIX a
// Directory is a descriptor and names are resolved against it; on Windows it
// is a handle that keeps the directory from being renamed or removed while
// it is held, and names are joined to its path. One implementation per
// platform: directory_posix.cpp, directory_win32.cpp. Paths and names are
// UTF-8.
#ifndef POSTERGEN_BATCH_PLATFORM_DIRECTORY_H_
#define POSTERGEN_BATCH_PLATFORM_DIRECTORY_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/whole_file.h"

// What went wrong, with the system's code, so that a caller can tell a want
// of resources from a refusal.
struct Problem {
  int code = 0;
  std::string text;  // empty when nothing went wrong
  explicit operator bool() const { return !text.empty(); }
};
// what + ": " + the system's reason for the last failed call.
Problem systemProblem(const std::string& what);
// Out of file descriptors, handles, processes or memory: worth a wait.
bool wantOfResources(const Problem& problem);

// An open directory, or an open file, closed when it goes.
class Handle {
 public:
  Handle() = default;
  explicit Handle(intptr_t value) : value_(value) {}
  Handle(Handle&& other) noexcept : value_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle();
  intptr_t get() const { return value_; }
  explicit operator bool() const { return value_ != kNone; }
  intptr_t release();
  static constexpr intptr_t kNone = -1;

 private:
  intptr_t value_ = kNone;
};

// directory, the platform's separator, name.
std::string joinPath(const std::string& directory, const std::string& name);

// Closes a descriptor or handle: the platform's part of Handle.
void closeHandleValue(intptr_t value);

struct Directory {
  std::string path;  // absolute
  Handle handle;
  explicit operator bool() const { return static_cast<bool>(handle); }
};

// Opens a directory by path, following links (the user's own choice).
Directory openDirectory(const std::string& path, Problem& problem);

// Opens name in parent, a directory itself (not a link to one).
Directory openSubdirectory(const Directory& parent, const std::string& name, Problem& problem);

// Creates name in parent, private to this user; fails when the name exists.
// The new directory is opened without following links.
Directory makePrivateDirectory(const Directory& parent, const std::string& name, Problem& problem);

// Opens name in parent as openSubdirectory does, first making it (with the
// permissions new files get) when it is missing.
Directory openOrMakeSubdirectory(const Directory& parent, const std::string& name,
                                 Problem& problem);

// Removes what an earlier batch left at name: a directory of this user's,
// with everything in it. Anything else there is refused.
Problem clearLeftover(const Directory& parent, const std::string& name);

// A new file for appending (never through a link, never over a file).
Handle createFile(const Directory& directory, const std::string& name, Problem& problem);
Problem writeAll(const Handle& file, const std::string& text, const std::string& shownAs);
Problem writeNewFile(const Directory& directory, const std::string& name, const std::string& text);

// Writes a file whole or not at all (platform/whole_file.h), from what
// fill gives the sink, with the batch's words for what went wrong.
Problem writeWhole(const Directory& directory, const std::string& name,
                   const std::function<std::string(const ByteSink&)>& fill);
Problem replaceFile(const Directory& directory, const std::string& name, const std::string& text);

// Copies a regular file whole or not at all (for a move across file
// systems).
Problem copyWhole(const Directory& fromDirectory, const std::string& from,
                  const Directory& toDirectory, const std::string& to);

enum class FileKind { kMissing, kRegular, kDirectory, kFifo, kDevice, kOther };
// What name is, following links; kMissing when it cannot be looked at.
FileKind kindOf(const Directory& directory, const std::string& name);
// Its last modification in nanoseconds, following links; false when missing.
bool modifiedTime(const Directory& directory, const std::string& name, int64_t& nanoseconds);
// True when name is a regular file itself, not a link to one.
bool isRegularFile(const Directory& directory, const std::string& name);

// Opens a regular file for reading without blocking on a FIFO or a device;
// null (errno set) when it cannot be opened or is no regular file. With
// followLinks false a link is refused.
std::FILE* openRegularFile(const Directory& directory, const std::string& name, bool followLinks);

// The contents of a regular file, at most limit bytes; empty when it is not
// one (a FIFO is never opened).
std::string readSmallFile(const Directory& directory, const std::string& name,
                          size_t limit = 1 << 20);

// The names in directory/name (not following a link), without . and ..
std::vector<std::string> listDirectory(const Directory& directory, const std::string& name);

// Removes name and, when it is a directory, everything under it, following
// no link.
void removeTree(const Directory& parent, const std::string& name);

// Makes name in directory stand for the file at target (an absolute path):
// a symbolic link on POSIX; on Windows, where links need a privilege most
// users lack, a hard link where the volume has them and a copy elsewhere.
Problem linkTo(const Directory& directory, const std::string& name, const std::string& target);

// Moves a regular file. Across file systems it is copied to a temporary
// file beside the destination, synced and renamed into place, so that the
// destination is whole or untouched; the source goes only once it is home.
Problem moveFile(const Directory& fromDirectory, const std::string& from,
                 const Directory& toDirectory, const std::string& to);

// Takes the batch lock of a directory: the file .postergen-batch.lock in it,
// which ends with the process that holds it. Refused at once, naming the
// holder's process ID, while another holds it. Where the directory cannot
// be written at all no lock is needed: no handle and no problem.
Handle lockDirectory(const Directory& directory, Problem& problem);

#endif  // POSTERGEN_BATCH_PLATFORM_DIRECTORY_H_
