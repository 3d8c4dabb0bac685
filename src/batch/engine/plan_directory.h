// --plan, --run-planned and --collect: runs written as working directories
// for running elsewhere (GNU parallel, a Slurm array job), and their posters
// gathered home afterwards. The plan directory holds one run directory per
// run and the file postergen-batch.plan, which names the home, each run's
// items and the items that failed at planning:
//
//   postergen-batch plan 1
//   home /posters
//   run run-0001 1 2 3
//   run run-0002 4 - 6        (- : already home, after a partial collect)
//   failed 7 city_photo7.jpeg is a FIFO, not a regular file
#ifndef POSTERGEN_BATCH_ENGINE_PLAN_DIRECTORY_H_
#define POSTERGEN_BATCH_ENGINE_PLAN_DIRECTORY_H_

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/engine/home.h"
#include "batch/engine/plan.h"
#include "batch/engine/report.h"

// Where a run run by --run-planned leaves its summary, for --collect.
constexpr const char* kRunSummaryName = "postergen-batch.summary";

// Makes planDirectory (which must be new or empty) with the runs in it and
// prints each run directory's absolute path on its own line. Returns an
// error, or empty.
std::string writePlan(const Home& home, const std::vector<PlannedRun>& runs,
                      const std::vector<ItemFailure>& failures, const std::string& planDirectory,
                      std::ostream& paths);

// The batch's numbers of the items of the planned run in runDirectory, from
// its plan; empty when there is no plan beside it.
std::vector<int> plannedItems(const std::string& runDirectory);

// Moves every run's posters home, names the items without one, keeps the
// logs of the runs that failed in the home's .postergen-batch/logs/, and
// removes planDirectory. A run with a poster that cannot be moved home is
// kept, and so is the plan, for a later --collect. Returns an error
// (nothing done), or empty. atEnd is called with the home's path once the
// posters are home, while the home is still locked.
std::string collectPlan(const std::string& planDirectory, BatchReport& report,
                        const std::function<void(const std::string& home)>& atEnd);

#endif  // POSTERGEN_BATCH_ENGINE_PLAN_DIRECTORY_H_
