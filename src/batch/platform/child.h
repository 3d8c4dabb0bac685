// postergen processes: each started in a run directory held by the batch,
// its standard output and standard error on pipes, its own peak memory
// sampled while it runs. One implementation per platform: child_posix.cpp
// (posix_spawn, poll, wait4), child_win32.cpp (CreateProcessW, a reader
// thread per pipe).
#ifndef POSTERGEN_BATCH_PLATFORM_CHILD_H_
#define POSTERGEN_BATCH_PLATFORM_CHILD_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "batch/platform/directory.h"

// How a child ended, as waitpid told it.
struct Termination {
  bool signalled = false;
  int code = 0;            // the exit status (low 8 bits), or the signal number
  uint32_t exception = 0;  // Windows: the exception that ended it (0xC0000005, ...), or 0
};

struct ChildState;  // the platform's

struct Child {
  Child();
  ~Child();
  Child(Child&&) noexcept;
  Child& operator=(Child&&) noexcept;
  std::unique_ptr<ChildState> state;
  bool outOpen = false;    // its standard output has not ended yet
  bool errOpen = false;    // nor its standard error, where SDL_Log writes
  int64_t peakBytes = 0;   // sampled while it runs
  int64_t boundBytes = 0;  // once reaped: an upper bound of its peak (POSIX: wait4's,
                           // which counts the batch's own size too)
};

// Starts postergen (an absolute path) in directory, its standard input
// empty and the stop signals at their defaults, limited to the given CPUs
// (all the batch's when empty). No descriptor or handle of the batch's is
// inherited, but for the child's own pipes.
Problem spawnPostergen(const std::string& postergen, const Directory& directory, Child& child,
                       const std::vector<int>& cpus = {});

// What came from a child: text on its standard output or error (log), or
// the end of that stream.
struct Output {
  size_t child = 0;  // the index into the children waited for
  bool log = false;
  std::string text;
  bool ended = false;
};

// Waits until some of the children have output or end a stream, a stop
// signal arrives (see machine.h) or timeoutMs passes, and returns what came.
// The streams of a child that has ended count as ended two seconds later,
// even if a process it started still holds them.
std::vector<Output> waitForOutput(const std::vector<Child*>& children, int timeoutMs);

// How a child is asked to end: the batch stopped (on Windows the console's
// Ctrl-C reached the child already), it stalled, or it did not end when asked.
enum class Ending { kStop, kStall, kKill };
void endChild(Child& child, Ending ending);

// Raises child.peakBytes to the process's own high-water mark of memory.
void samplePeak(Child& child);

// Waits for the child to end, once both of its streams have ended.
Termination reap(Child& child);

#endif  // POSTERGEN_BATCH_PLATFORM_CHILD_H_
