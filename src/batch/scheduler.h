// The batch itself: the planned runs, up to `jobs` postergen processes at
// once and within the memory budget, each poster moved home as soon as its
// run logs it; a run that ends without all of its posters is planned again
// in halves until each failing item has run alone.
#ifndef POSTERGEN_BATCH_SCHEDULER_H_
#define POSTERGEN_BATCH_SCHEDULER_H_

#include <string>
#include <vector>

#include "batch/home.h"
#include "batch/plan.h"
#include "batch/report.h"

struct BatchSetup {
  Home home;
  std::string postergen;
  std::string workDirectory;  // home/.postergen-batch: run directories and logs
  int jobs = 1;
  int64_t budget = 0;  // memory for all runs at once
  PlanLimits limits;
  std::vector<ItemCost> costByItem;  // indexed by item number
};

// Runs everything, or until a stop signal: then SIGTERM goes to the running
// processes, what they finished is moved home and nothing more is started.
// Fills report's written, failures, stoppedBy and logsKept.
void runBatch(const BatchSetup& setup, const std::vector<PlannedRun>& runs, Progress& progress,
              BatchReport& report);

#endif  // POSTERGEN_BATCH_SCHEDULER_H_
