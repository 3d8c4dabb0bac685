#include "batch/commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include "batch/home.h"
#include "batch/machine.h"
#include "batch/plan_directory.h"
#include "batch/preflight.h"
#include "batch/report.h"
#include "batch/run_directory.h"
#include "batch/scheduler.h"

namespace {

constexpr int kUsageStatus = 2;
// Beyond this, size.txt is surely wrong; each item is a file or two anyway.
constexpr int32_t kMaxBatchItems = 1000000;

struct Batch {
  std::string error;
  Home home;
  std::vector<int> items;  // to make, in order
  int skipped = 0;
  int jobs = 1;
  int64_t budget = 0;
};

Batch prepare(const BatchOptions& options) {
  Batch batch;
  const std::string path = absoluteDirectory(options.directory);
  if (path.empty()) {
    batch.error = options.directory + " is not a directory";
    return batch;
  }
  batch.home = readHome(path);
  if (batch.home.itemCount > kMaxBatchItems) {
    batch.error = "size.txt asks for " + std::to_string(batch.home.itemCount) +
                  " items, more than the " + std::to_string(kMaxBatchItems) + " one batch makes";
    return batch;
  }
  for (int item = 1; item <= batch.home.itemCount; ++item) {
    if (options.resume && posterUpToDate(batch.home, item)) {
      ++batch.skipped;
    } else {
      batch.items.push_back(item);
    }
  }
  batch.jobs = options.jobs ? options.jobs : onlineCpus();
  batch.budget = options.memoryBytes ? options.memoryBytes : availableMemory() / 10 * 8;
  return batch;
}

PlanLimits limitsOf(const BatchOptions& options, const Batch& batch, int64_t fixedBytes) {
  PlanLimits limits;
  // At least one run per job, so that every job has work.
  const int64_t share = (static_cast<int64_t>(batch.items.size()) + batch.jobs - 1) / batch.jobs;
  limits.itemsPerRun =
      static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(options.itemsPerRun, share)));
  limits.runBudget = batch.budget / batch.jobs;
  limits.fixedBytes = fixedBytes;
  return limits;
}

int fail(const std::string& message) {
  std::cerr << "postergen-batch: " << message << "\n";
  return kUsageStatus;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int runCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const Batch batch = prepare(options);
  if (!batch.error.empty()) return fail(batch.error);
  BatchReport report;
  report.total = static_cast<int>(batch.items.size());
  report.skipped = batch.skipped;
  if (batch.items.empty()) {
    std::cerr << summaryText(report);
    return 0;
  }
  const std::string postergen = options.postergen.empty() ? findPostergen() : options.postergen;
  if (postergen.empty()) return fail("cannot find postergen beside postergen-batch or on PATH");

  const std::string work = batch.home.path + "/.postergen-batch";
  removeTree(work);
  const std::string problem = makeDirectory(work);
  if (!problem.empty()) return fail(problem);
  const PreflightResult preflight = runPreflight(postergen, batch.home, work + "/preflight");
  if (const int signal = takeStopSignal()) {
    removeTree(work);
    return 128 + signal;
  }
  if (!preflight.failure.empty()) {
    removeTree(work);
    return fail("the preflight run failed: " + preflight.failure);
  }

  BatchSetup setup;
  setup.home = batch.home;
  setup.postergen = postergen;
  setup.workDirectory = work;
  setup.jobs = batch.jobs;
  setup.budget = batch.budget;
  setup.limits = limitsOf(options, batch, preflight.fixedBytes);
  const std::vector<ItemCost> costs = photoCosts(batch.home, batch.items);
  setup.costByItem.resize(static_cast<size_t>(batch.home.itemCount) + 1);
  for (const ItemCost& cost : costs) setup.costByItem[cost.item] = cost;
  Progress progress(report.total, !options.quiet, isatty(STDERR_FILENO));
  runBatch(setup, planRuns(costs, setup.limits), progress, report);
  progress.clear();
  if (report.logsKept.empty()) removeTree(work);
  report.seconds = secondsSince(start);
  std::cerr << summaryText(report);
  return exitStatus(report);
}

int planCommand(const BatchOptions& options) {
  const Batch batch = prepare(options);
  if (!batch.error.empty()) return fail(batch.error);
  const PlanLimits limits = limitsOf(options, batch, kAssumedFixedBytes);
  const std::vector<PlannedRun> runs = planRuns(photoCosts(batch.home, batch.items), limits);
  const std::string problem = writePlan(batch.home, runs, options.planDirectory, std::cout);
  if (!problem.empty()) return fail(problem);
  if (!options.quiet)
    std::cerr << "postergen-batch: " << batch.items.size() << " items planned as " << runs.size()
              << " runs (" << batch.skipped << " up to date, left out)\n";
  return 0;
}

int collectCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  BatchReport report;
  const std::string problem = collectPlan(options.planDirectory, report);
  if (!problem.empty()) return fail(problem);
  report.seconds = secondsSince(start);
  std::cerr << summaryText(report);
  return exitStatus(report);
}
