#include "batch/engine/preflight.h"

#include <algorithm>
#include <chrono>

#include "batch/engine/outcome.h"
#include "batch/engine/run_directory.h"
#include "batch/platform/child.h"
#include "batch/platform/machine.h"

namespace {

struct FinishedRun {
  Problem problem;  // postergen could not be started
  Termination how;
  std::string out;
  std::string log;
  int64_t peakBytes = 0;  // an upper bound
  int stoppedBy = 0;      // the stop signal that ended it early, or 0
  bool stalled = false;
};

// Runs postergen in directory to its end, or until a stop signal or
// stallSeconds (0: no limit) without a word from it, which end it.
FinishedRun runToEnd(const std::string& postergen, const Directory& directory, int stallSeconds) {
  using Clock = std::chrono::steady_clock;
  FinishedRun run;
  Child child;
  run.problem = spawnPostergen(postergen, directory, child);
  if (run.problem) return run;
  const std::vector<Child*> children{&child};
  Clock::time_point heard = Clock::now();
  while (child.outOpen || child.errOpen) {
    for (const Output& output : waitForOutput(children, 1000)) {
      heard = Clock::now();
      (output.log ? run.log : run.out) += output.text;
    }
    if (stopSignal() && !run.stoppedBy) {
      run.stoppedBy = stopSignal();
      endChild(child, Ending::kStop);
    }
    if (stallSeconds > 0 && Clock::now() - heard > std::chrono::seconds(stallSeconds)) {
      // Then killed, should that not end it either.
      endChild(child, run.stalled ? Ending::kKill : Ending::kStall);
      run.stalled = true;
      heard = Clock::now();
    }
  }
  run.how = reap(child);
  run.peakBytes = std::max(child.peakBytes, child.boundBytes);
  return run;
}

}  // namespace

int64_t exportBytesOnCpus(int cpus) {
  return kExportBytes + (cpus >= 2 ? 2 * kPosterBytes * cpus : 0);
}

int64_t assumedFixedBytesOnCpus(int cpus) {
  return kAssumedFixedBytes - kExportBytes + exportBytesOnCpus(cpus);
}

int64_t unmeasuredFixedBytes(int64_t backgroundBytes, int cpus) {
  return assumedFixedBytesOnCpus(cpus) + 3 * backgroundBytes;
}

PreflightResult runPreflight(const std::string& postergen, const Home& home, const Directory& work,
                             int stallSeconds, int runCpus) {
  PreflightResult result;
  Problem problem;
  Directory directory = makeRunDirectory(work, kPreflightDirectoryName, home, {}, problem);
  if (!directory) {
    result.failure = problem.text;
    return result;
  }
  const FinishedRun run = runToEnd(postergen, directory, stallSeconds);
  directory = Directory();
  removeTree(work, kPreflightDirectoryName);
  result.stoppedBy = run.stoppedBy;
  if (run.problem) {
    result.failure = run.problem.text;
  } else if (run.stalled) {
    result.failure = "no progress for " + std::to_string(stallSeconds) + " s";
  } else if (run.how.signalled || run.how.code != 0) {
    const std::string message = postergenMessage(run.out, run.log);
    result.failure =
        (message.empty() ? "" : message + " ") + "(" + describeTermination(run.how) + ")";
  }
  result.fixedBytes = run.peakBytes + exportBytesOnCpus(runCpus);
  return result;
}
