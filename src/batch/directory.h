// The batch's own folders, reached through directory descriptors: every
// file in them is made relative to a descriptor the batch holds, never by a
// path that a neighbour could turn into a symbolic link halfway through.
// POSIX only.
#ifndef POSTERGEN_BATCH_DIRECTORY_H_
#define POSTERGEN_BATCH_DIRECTORY_H_

#include <string>
#include <vector>

// A file descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release();

 private:
  int fd_ = -1;
};

// What went wrong, with errno's value, so that a caller can tell a want of
// resources (EMFILE, EAGAIN, ENOMEM) from a refusal.
struct Problem {
  int code = 0;
  std::string text;  // empty when nothing went wrong
  explicit operator bool() const { return !text.empty(); }
};
Problem systemProblem(const std::string& what);  // what + ": " + errno's text
bool wantOfResources(const Problem& problem);

// Opens a directory by path, following links (the user's own choice).
UniqueFd openDirectory(const std::string& path, Problem& problem);

// Creates name in parent, mode 0700; fails when the name exists. The new
// directory is opened without following links.
UniqueFd makePrivateDirectory(int parent, const std::string& name, const std::string& shownAs,
                              Problem& problem);

// Removes what an earlier batch left at name: a directory of this user's,
// with everything in it. Anything else there is refused.
Problem clearLeftover(int parent, const std::string& name, const std::string& shownAs);

// Creates a new file (never through a link, never over a file), for writing.
UniqueFd createFile(int directory, const std::string& name, int mode, const std::string& shownAs,
                    Problem& problem);
Problem writeNewFile(int directory, const std::string& name, const std::string& text,
                     const std::string& shownAs);
Problem writeAll(int fd, const std::string& text, const std::string& shownAs);

// Writes a file whole or not at all: a temporary file beside it, synced,
// then renamed over name.
Problem replaceFile(int directory, const std::string& name, const std::string& text,
                    const std::string& shownAs);

// The contents of a regular file, at most limit bytes; empty when it is not
// one (a FIFO is never opened).
std::string readSmallFile(int directory, const std::string& name, size_t limit = 1 << 20);

bool isRegularFile(int directory, const std::string& name);  // not a link

// The names in directory parent/name (not following a link), without . and ..
std::vector<std::string> listDirectory(int parent, const std::string& name);

// Removes name and, when it is a directory, everything under it, following
// no link.
void removeTree(int parent, const std::string& name);

// Moves a regular file. Across file systems it is copied to a temporary
// file beside the destination, synced and renamed into place, so that the
// destination is whole or untouched; the source goes only once it is home.
Problem moveFile(int fromDirectory, const std::string& from, int toDirectory, const std::string& to,
                 const std::string& shownAs);

// Takes the batch lock of a directory: a lock on the file
// .postergen-batch.lock in it, which ends with the process that holds it.
// Refused at once, naming the holder's process ID, while another holds it.
// Where the directory cannot be written at all, no lock is needed: no
// descriptor and no problem.
UniqueFd lockDirectory(int directory, const std::string& shownAs, Problem& problem);

#endif  // POSTERGEN_BATCH_DIRECTORY_H_
