#include "batch/cli/commands.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <limits>
#include <optional>

#include "batch/engine/cpu_share.h"
#include "batch/engine/home.h"
#include "batch/engine/outcome.h"
#include "batch/engine/plan_directory.h"
#include "batch/engine/preflight.h"
#include "batch/engine/report.h"
#include "batch/engine/scheduler.h"
#include "batch/platform/directory.h"
#include "batch/platform/machine.h"
#include "contact_sheet/sheet_writer.h"
#include "platform/cpus.h"

namespace {

constexpr int kUsageStatus = 2;
// Beyond this, size.txt is surely wrong; each item is a file or two anyway.
constexpr int32_t kMaxBatchItems = 1000000;

// A home opened and locked, its items sorted into those to make, those up
// to date and those that cannot be made.
struct Batch {
  std::string error;
  Home home;
  Handle lock;
  std::vector<int> items;  // to make, in order
  ItemCheck check;
  std::vector<int> upToDate;  // --resume: left alone
  int jobs = 1;
  int runCpus = 1;  // the CPUs of the largest run's share
  int64_t budget = 0;
};

Batch prepare(const BatchOptions& options, const std::string& directory, bool resume) {
  Batch batch;
  batch.home = openHome(directory, batch.error);
  if (!batch.error.empty()) return batch;
  Problem problem;
  batch.lock = lockDirectory(*batch.home.directory, problem);
  if (problem) {
    batch.error = problem.text;
    return batch;
  }
  if (batch.home.itemCount > kMaxBatchItems) {
    batch.error = "size.txt asks for " + std::to_string(batch.home.itemCount) +
                  " items, more than the " + std::to_string(kMaxBatchItems) + " one batch makes";
    return batch;
  }
  std::vector<int> wanted;
  for (int item = 1; item <= batch.home.itemCount && !stopSignal(); ++item) {
    if (resume && posterUpToDate(batch.home, item)) {
      batch.upToDate.push_back(item);
    } else {
      wanted.push_back(item);
    }
  }
  if (!stopSignal()) batch.check = checkItems(batch.home, wanted);
  for (const ItemCost& cost : batch.check.costs) batch.items.push_back(cost.item);
  const int cpus = allowedCpuCount();
  batch.jobs =
      options.jobs ? options.jobs : defaultJobs(cpus, static_cast<int>(batch.items.size()));
  batch.runCpus = largestCpuShare(cpus, batch.jobs);
  batch.budget = options.memoryBytes ? options.memoryBytes : availableMemory() / 10 * 8;
  // The thumbnails are made beside the runs.
  if (options.contactSheet && options.action == BatchOptions::Action::kRun)
    batch.budget = std::max<int64_t>(0, batch.budget - thumbnailMemory());
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
  limits.decodingThreads = batch.runCpus;
  return limits;
}

int fail(const std::string& message) {
  std::cerr << "postergen-batch: " << message << "\n";
  return kUsageStatus;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

BatchReport reportOf(const BatchOptions& options, const Batch& batch) {
  BatchReport report;
  report.strict = options.strict;
  report.total = static_cast<int>(batch.items.size() + batch.check.failures.size());
  report.skipped = static_cast<int>(batch.upToDate.size());
  report.failures = batch.check.failures;
  return report;
}

// A stop signal at any point ends the batch with its status, never 0.
int finish(BatchReport& report, std::chrono::steady_clock::time_point start,
           SheetWriter* sheet = nullptr) {
  if (stopSignal() && !report.stoppedBy) report.stoppedBy = stopSignal();
  report.seconds = secondsSince(start);
  if (sheet) sheet->write(report);
  std::cerr << summaryText(report);
  return exitStatus(report);
}

// A batch that cannot run after all: its page says why, too.
int failWithSheet(const std::string& message, BatchReport& report,
                  std::chrono::steady_clock::time_point start, SheetWriter* sheet) {
  if (!sheet) return fail(message);
  report.error = message;
  report.seconds = secondsSince(start);
  sheet->write(report);
  fail(message);
  if (!report.contactSheet.empty())
    std::cerr << "postergen-batch: contact sheet: " << report.contactSheet << "\n";
  return kUsageStatus;
}

// Runs the batch's items in work directory .postergen-batch of the home.
void runItems(const BatchOptions& options, const Batch& batch, const std::string& postergen,
              const PlanLimits& plannedLimits, bool preflight, BatchReport& report,
              SheetWriter* sheet = nullptr) {
  const Home& home = batch.home;
  Problem problem = clearLeftover(*home.directory, kWorkDirectoryName);
  Directory work;
  if (!problem) work = makePrivateDirectory(*home.directory, kWorkDirectoryName, problem);
  if (!work) {
    for (int item : batch.items) report.failures.push_back({home.shownItem(item), problem.text});
    return;
  }
  BatchSetup setup;
  setup.limits = plannedLimits;
  PreflightResult result;
  // True when the font or the background fails to load, or a stop signal came.
  const auto preflightFails = [&]() {
    result = runPreflight(postergen, home, work, options.stallSeconds, batch.runCpus);
    if (!result.failure.empty() && !result.stoppedBy)
      report.error = "the preflight run failed: " + result.failure;
    return result.stoppedBy || !result.failure.empty();
  };
  if (preflight) {
    const int64_t background = backgroundBytes(home);
    PlanLimits unmeasured = plannedLimits;
    unmeasured.fixedBytes = unmeasuredFixedBytes(background, batch.runCpus);
    if (background >= 0 && fitsByCountAlone(batch.check.costs, unmeasured)) {
      // The memory budget does not shape the plan, so nothing needs
      // measuring first: the runs start at once, and a run that fails
      // before the first poster is made brings the preflight in to tell
      // whether the inputs they all share are at fault.
      setup.limits = unmeasured;
      setup.sharedInputsFail = [&]() { return preflightFails() && !result.stoppedBy; };
    } else if (preflightFails()) {
      work = Directory();
      removeTree(*home.directory, kWorkDirectoryName);
      return;
    } else {
      setup.limits.fixedBytes = result.fixedBytes;
    }
  }
  setup.home = home;
  setup.postergen = postergen;
  setup.work = &work;
  setup.jobs = batch.jobs;
  setup.budget = batch.budget;
  setup.stallSeconds = options.stallSeconds;
  if (sheet)
    setup.posterHome = [sheet](int item, const Directory* folder, const std::string& thumbnail) {
      sheet->posterHome(item, folder, thumbnail);
    };
  setup.costByItem.resize(static_cast<size_t>(home.itemCount) + 1);
  for (const ItemCost& cost : batch.check.costs) setup.costByItem[cost.item] = cost;
  Progress progress(report.total, !options.quiet, errorIsTerminal());
  runBatch(setup, planRuns(batch.check.costs, setup.limits), progress, report);
  progress.clear();
  if (kindOf(work, kPreflightDirectoryName) != FileKind::kMissing)
    removeTree(work, kPreflightDirectoryName);
  if (report.logsKept.empty() && !report.postersKept) {
    work = Directory();
    removeTree(*home.directory, kWorkDirectoryName);
  }
}

}  // namespace

int runCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const Batch batch = prepare(options, options.directory, options.resume);
  if (!batch.error.empty()) return fail(batch.error);
  BatchReport report = reportOf(options, batch);
  std::optional<SheetWriter> sheet;
  if (options.contactSheet) {
    sheet.emplace(batch.home);
    for (int item : batch.upToDate) sheet->posterHome(item);
  }
  SheetWriter* const page = sheet ? &*sheet : nullptr;
  if (batch.items.empty() || stopSignal()) return finish(report, start, page);
  const std::string postergen = findPostergen(options.postergen);
  if (postergen.empty())
    return failWithSheet(options.postergen.empty()
                             ? "cannot find postergen beside postergen-batch or on PATH"
                             : "cannot run " + options.postergen + ": not an executable file",
                         report, start, page);
  runItems(options, batch, postergen, limitsOf(options, batch, 0), true, report, page);
  if (!report.error.empty()) return failWithSheet(report.error, report, start, page);
  return finish(report, start, page);
}

int runPlannedCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const std::string run = absoluteDirectory(options.planDirectory);
  if (run.empty()) return fail(options.planDirectory + " is not a directory");
  BatchOptions asHome = options;
  asHome.jobs = 1;
  // A task run again after a partial success carries on.
  Batch batch = prepare(asHome, run, true);
  if (!batch.error.empty()) return fail(batch.error);
  batch.home.shownItems = plannedItems(run);
  for (ItemFailure& failure : batch.check.failures) {
    failure.item = batch.home.shownItem(failure.item);
    failure.reason = withItemNames(failure.reason, batch.home.shownItems);
  }
  BatchReport report = reportOf(options, batch);
  if (!batch.items.empty() && !stopSignal()) {
    const std::string postergen = findPostergen(options.postergen);
    if (postergen.empty()) return fail("cannot find postergen beside postergen-batch or on PATH");
    // The plan sized the run: all of it at once first, then halves of what failed.
    PlanLimits limits;
    limits.itemsPerRun = static_cast<int>(batch.items.size());
    limits.runBudget = std::numeric_limits<int64_t>::max() / 2;
    limits.fixedBytes = assumedFixedBytesOnCpus(batch.runCpus);
    limits.decodingThreads = batch.runCpus;
    runItems(asHome, batch, postergen, limits, false, report);
  }
  const int status = finish(report, start);
  replaceFile(*batch.home.directory, kRunSummaryName, summaryText(report));
  return status;
}

int planCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  const Batch batch = prepare(options, options.directory, options.resume);
  if (!batch.error.empty()) return fail(batch.error);
  BatchReport report = reportOf(options, batch);
  if (stopSignal()) return finish(report, start);
  const PlanLimits limits = limitsOf(options, batch, assumedFixedBytesOnCpus(batch.runCpus));
  const std::vector<PlannedRun> runs = planRuns(batch.check.costs, limits);
  if (runs.empty()) {
    std::cerr << "postergen-batch: nothing to plan: " << batch.upToDate.size() << " up to date, "
              << batch.check.failures.size() << " that cannot be made; no plan written\n";
    return finish(report, start);
  }
  const std::string problem =
      writePlan(batch.home, runs, batch.check.failures, options.planDirectory, std::cout);
  if (stopSignal()) return finish(report, start);
  if (!problem.empty()) return fail(problem);
  if (!options.quiet) {
    std::cerr << "postergen-batch: " << batch.items.size() << " items planned as " << runs.size()
              << " runs (" << batch.upToDate.size() << " up to date, left out)\n";
    for (const ItemFailure& failure : batch.check.failures)
      std::cerr << "item " << failure.item << ": " << failure.reason
                << " (not planned; --collect reports it)\n";
  }
  return 0;
}

int collectCommand(const BatchOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  BatchReport report;
  report.strict = options.strict;
  const std::string problem =
      collectPlan(options.planDirectory, report, [&](const std::string& homePath) {
        if (!options.contactSheet) return;
        std::string error;
        const Home home = openHome(homePath, error);
        if (!error.empty()) {
          report.contactSheetProblem = "no contact sheet: " + error;
          return;
        }
        report.seconds = secondsSince(start);
        SheetWriter(home).write(report);
      });
  if (!problem.empty()) return fail(problem);
  return finish(report, start);
}
