// --plan and --collect: runs written as working directories for postergen
// runs elsewhere (GNU parallel, a Slurm array job), and their posters
// gathered home afterwards. The plan directory holds one run directory per
// run and the file postergen-batch.plan, which names the home and each
// run's items.
#ifndef POSTERGEN_BATCH_PLAN_DIRECTORY_H_
#define POSTERGEN_BATCH_PLAN_DIRECTORY_H_

#include <ostream>
#include <string>
#include <vector>

#include "batch/home.h"
#include "batch/plan.h"
#include "batch/report.h"

// Makes planDirectory (which must be new or empty) with the runs in it and
// prints each run directory's absolute path on its own line. Returns an
// error, or empty.
std::string writePlan(const Home& home, const std::vector<PlannedRun>& runs,
                      const std::string& planDirectory, std::ostream& paths);

// Moves every run's posters home, names the items without one, and removes
// planDirectory. Returns an error (nothing done), or empty.
std::string collectPlan(const std::string& planDirectory, BatchReport& report);

#endif  // POSTERGEN_BATCH_PLAN_DIRECTORY_H_
