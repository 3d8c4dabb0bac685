#include "batch/preflight.h"

#include "batch/child.h"
#include "batch/outcome.h"
#include "batch/run_directory.h"

PreflightResult runPreflight(const std::string& postergen, const Home& home, int work,
                             const std::string& workPath, int stallSeconds) {
  PreflightResult result;
  Problem problem;
  UniqueFd directory =
      makeRunDirectory(work, "preflight", workPath + "/preflight", home, {}, problem);
  if (!directory) {
    result.failure = problem.text;
    return result;
  }
  const FinishedRun run = runToEnd(postergen, directory.get(), stallSeconds);
  removeTree(work, "preflight");
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
  result.fixedBytes = run.peakBytes + kExportBytes;
  return result;
}
