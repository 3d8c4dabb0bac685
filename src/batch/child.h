// One postergen process: started with posix_spawn in a run directory held
// open by the batch, its standard output and standard error on pipes, its
// own peak memory sampled while it runs, reaped with wait4.
#ifndef POSTERGEN_BATCH_CHILD_H_
#define POSTERGEN_BATCH_CHILD_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "batch/directory.h"
#include "batch/outcome.h"

struct Child {
  pid_t pid = -1;
  UniqueFd out;             // its standard output
  UniqueFd err;             // its standard error, where SDL_Log writes
  int64_t peakBytes = 0;    // sampled while it runs
  int64_t maxrssBytes = 0;  // wait4's figure, once reaped
};

// Starts postergen (an absolute path) in directory, its standard input on
// /dev/null and the stop signals and SIGPIPE at their defaults. Every
// descriptor of the batch is close-on-exec, so a child inherits none.
Problem spawnPostergen(const std::string& postergen, int directory, Child& child);

// Appends what fd holds to text; false at the end of the file (fd closed).
bool readInto(int fd, std::string& text);

// Raises child.peakBytes to the process's own high-water mark of resident
// memory, while it runs. wait4's figure is an upper bound only: it counts
// the batch's own size too, as the child started as a copy of it.
void samplePeak(Child& child);

// Waits for the child to end.
Termination reap(Child& child);

struct FinishedRun {
  Problem problem;  // postergen could not be started
  Termination how;
  std::string out;
  std::string log;
  int64_t peakBytes = 0;
  int stoppedBy = 0;  // the stop signal that ended it early, or 0
  bool stalled = false;
};

// Runs postergen in directory to its end, or until a stop signal or
// stallSeconds (0: no limit) without a word from it, which end it with
// SIGTERM. Its peak is wait4's upper bound.
FinishedRun runToEnd(const std::string& postergen, int directory, int stallSeconds);

#endif  // POSTERGEN_BATCH_CHILD_H_
