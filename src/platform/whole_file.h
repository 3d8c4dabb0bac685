// Files written whole or not at all, by both programs on every platform:
// the bytes go to a hidden temporary file beside the destination, which is
// synced to the disk and only then renamed over it, replacing a file or a
// symbolic link of that name (never what a link points to). Whatever the
// name held before stays until the new file is whole; a failure leaves it
// untouched and removes the temporary file. The temporary files in
// progress are recorded where a stop signal's handler can remove them
// (removePartialFiles), so a run that is stopped leaves none behind. Any
// thread may write.
#ifndef POSTERGEN_PLATFORM_WHOLE_FILE_H_
#define POSTERGEN_PLATFORM_WHOLE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// The directory a file is written in. On POSIX names are resolved against
// the descriptor, on Windows joined to the path; the path also names the
// file in messages. The working directory is {kWorkingDirectory, ""}.
struct FileDirectory {
  intptr_t handle;
  std::string path;
};
extern const intptr_t kWorkingDirectory;

// Opens the directory at path (relative to the working directory) for
// files to be written in it; false when it is not a directory (a link to
// one is not followed).
bool openFileDirectory(const std::string& path, FileDirectory& directory);

// Where a write failed, and the system's words (fill's own for kFill).
struct WriteFailure {
  enum class Step { kNone, kCreate, kFill, kWrite, kSync, kRename };
  Step step = Step::kNone;
  int code = 0;  // the system's error code
  std::string reason;
  explicit operator bool() const { return step != Step::kNone; }
};

// Takes the next bytes of the file; false once a write has failed, after
// which fill should stop.
using ByteSink = std::function<bool(const void* data, size_t size)>;

// Creates the temporary file (permissions as for any new file), calls
// fill with a sink for its bytes, checks every write, the sync and the
// close, and renames it over name. fill returns an empty string, or why it
// could not produce the bytes.
WriteFailure writeWholeFile(const FileDirectory& directory, const std::string& name,
                            const std::function<std::string(const ByteSink&)>& fill);

// Removes every temporary file in progress. Async-signal-safe on POSIX.
void removePartialFiles();

#endif  // POSTERGEN_PLATFORM_WHOLE_FILE_H_
