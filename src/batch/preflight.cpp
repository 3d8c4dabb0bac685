#include "batch/preflight.h"

#include "batch/child.h"
#include "batch/outcome.h"
#include "batch/run_directory.h"

PreflightResult runPreflight(const std::string& postergen, const Home& home,
                             const std::string& directory) {
  PreflightResult result;
  result.failure = makeRunDirectory(directory, home, {});
  if (!result.failure.empty()) return result;
  const FinishedRun run = runToEnd(postergen, directory);
  removeTree(directory);
  if (!run.error.empty()) {
    result.failure = run.error;
  } else if (run.how.signalled || run.how.code != 0) {
    const std::string message = postergenMessage(run.out, run.log);
    result.failure =
        (message.empty() ? "" : message + " ") + "(" + describeTermination(run.how) + ")";
  }
  result.fixedBytes = run.peakBytes + kExportBytes;
  return result;
}
