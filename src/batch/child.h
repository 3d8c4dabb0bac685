// One postergen process: started with posix_spawn in its run directory, its
// standard output and standard error on pipes, reaped with wait4 for its
// peak memory.
#ifndef POSTERGEN_BATCH_CHILD_H_
#define POSTERGEN_BATCH_CHILD_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "batch/outcome.h"

struct Child {
  pid_t pid = -1;
  int outFd = -1;  // its standard output
  int errFd = -1;  // its standard error, where SDL_Log writes
};

// Starts postergen in directory, its standard input on /dev/null and the
// stop signals at their defaults. The pipes' read ends are close-on-exec,
// so no other child inherits them. Returns an error, or empty.
std::string spawnPostergen(const std::string& postergen, const std::string& directory,
                           Child& child);

// Appends what fd holds to text; false at the end of the file (fd closed).
bool readInto(int fd, std::string& text);

// Waits for pid to end; its peak resident memory in bytes goes to peakBytes.
Termination reap(pid_t pid, int64_t& peakBytes);

struct FinishedRun {
  std::string error;  // postergen could not be started
  Termination how;
  std::string out;
  std::string log;
  int64_t peakBytes = 0;
};

// Runs postergen in directory to its end.
FinishedRun runToEnd(const std::string& postergen, const std::string& directory);

#endif  // POSTERGEN_BATCH_CHILD_H_
