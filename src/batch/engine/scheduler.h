// The batch itself: the planned runs, up to `jobs` postergen processes at
// once and within the memory budget. An item is done when its run's poster
// file exists and has been moved home: the log's "Saved" line only says
// when to look. A run that ends without all of its posters, or that says
// nothing for stallSeconds, is planned again in halves until each failing
// item has run alone (unless the shared inputs are found at fault).
#ifndef POSTERGEN_BATCH_ENGINE_SCHEDULER_H_
#define POSTERGEN_BATCH_ENGINE_SCHEDULER_H_

#include <functional>
#include <string>
#include <vector>

#include "batch/engine/home.h"
#include "batch/engine/plan.h"
#include "batch/engine/report.h"

struct BatchSetup {
  Home home;
  std::string postergen;            // absolute
  const Directory* work = nullptr;  // home/.postergen-batch: run directories and logs
  int jobs = 1;
  int64_t budget = 0;  // memory for all runs at once
  int stallSeconds = 0;
  PlanLimits limits;
  std::vector<ItemCost> costByItem;  // indexed by item number
  // Told of each poster moved home, and where postergen wrote its
  // thumbnail (the run's folder and the name there; the folder is null
  // when there is none); when set, the runs are asked for thumbnails.
  std::function<void(int item, const Directory* folder, const std::string& thumbnail)> posterHome;
  // Asked once, when a run fails before the batch has made any poster,
  // whether the inputs every run shares are at fault (true ends the
  // batch: the runs are stopped, nothing more is started); or empty.
  std::function<bool()> sharedInputsFail;
};

// Runs everything, or until a stop signal: then SIGTERM goes to the running
// processes, what they finished is moved home and nothing more is started.
// A run that cannot start for want of resources waits for another to end.
// Fills report's written, failures, stoppedBy, logsKept and postersKept.
void runBatch(const BatchSetup& setup, const std::vector<PlannedRun>& runs, Progress& progress,
              BatchReport& report);

#endif  // POSTERGEN_BATCH_ENGINE_SCHEDULER_H_
