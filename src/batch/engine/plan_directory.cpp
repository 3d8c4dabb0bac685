#include "batch/engine/plan_directory.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <sstream>

#include "batch/engine/outcome.h"
#include "batch/engine/run_directory.h"
#include "batch/platform/directory.h"
#include "batch/platform/machine.h"

namespace {

const char kPlanFile[] = "postergen-batch.plan";
const char kPlanHeading[] = "postergen-batch plan 1";
constexpr size_t kPlanLimit = size_t{256} << 20;

std::string runName(size_t index, size_t count) {
  std::string number = std::to_string(index);
  const size_t width = std::max<size_t>(4, std::to_string(count).size());
  return "run-" + std::string(width - number.size(), '0') + number;
}

struct PlanRun {
  std::string name;
  std::vector<int> items;  // 0: already home
};

struct Plan {
  std::string home;
  std::vector<PlanRun> runs;
  std::vector<ItemFailure> failures;
};

bool parsePlan(const std::string& text, Plan& plan) {
  std::istringstream in(text);
  std::string heading;
  std::string homeLine;
  if (!std::getline(in, heading) || heading != kPlanHeading || !std::getline(in, homeLine) ||
      homeLine.rfind("home ", 0) != 0 || homeLine.size() == 5)
    return false;
  plan.home = homeLine.substr(5);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string word;
    fields >> word;
    if (word == "run") {
      PlanRun run;
      fields >> run.name;
      if (run.name.find_first_of("/\\") != std::string::npos || run.name.rfind("run-", 0) != 0)
        return false;
      for (std::string item; fields >> item;)
        run.items.push_back(item == "-" ? 0 : std::atoi(item.c_str()));
      plan.runs.push_back(run);
    } else if (word == "failed") {
      ItemFailure failure;
      fields >> failure.item;
      std::getline(fields >> std::ws, failure.reason);
      plan.failures.push_back(failure);
    }
  }
  return true;
}

std::string planText(const std::string& home, const std::vector<PlanRun>& runs,
                     const std::vector<ItemFailure>& failures) {
  std::string text = std::string(kPlanHeading) + "\nhome " + home + "\n";
  for (const PlanRun& run : runs) {
    text += "run " + run.name;
    for (int item : run.items) text += item ? " " + std::to_string(item) : " -";
    text += "\n";
  }
  for (const ItemFailure& failure : failures)
    text += "failed " + std::to_string(failure.item) + " " + failure.reason + "\n";
  return text;
}

// What --run-planned left: "item <i>: <reason>" for each item it could not make.
std::map<int, std::string> failuresIn(const std::string& summary) {
  std::map<int, std::string> reasons;
  std::istringstream in(summary);
  bool inFailures = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("postergen-batch: ", 0) == 0) {
      inFailures = line.size() > 8 && line.compare(line.size() - 8, 8, " failed:") == 0;
      continue;
    }
    if (!inFailures || line.rfind("item ", 0) != 0) continue;
    const size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    reasons[std::atoi(line.c_str() + 5)] = line.substr(colon + 2);
  }
  return reasons;
}

// The home's .postergen-batch/logs, made when the first failed run's logs
// need a place.
class LogKeeper {
 public:
  explicit LogKeeper(const Directory& home) : home_(home) {}

  // Moves what the run said into logs/<run>/; returns where, or empty.
  std::string keep(const Directory& run, const std::string& name) {
    if (!logs_ && !open()) return "";
    Problem problem;
    const Directory kept = makePrivateDirectory(logs_, name, problem);
    if (!kept) return "";
    for (const char* file : {"postergen.log", "postergen.out", kRunSummaryName})
      if (isRegularFile(run, file)) moveFile(run, file, kept, file);
    const Directory work = openSubdirectory(run, kWorkDirectoryName, problem);
    const Directory logs = work ? openSubdirectory(work, "logs", problem) : Directory();
    if (logs)
      for (const std::string& log : listDirectory(logs, ".")) moveFile(logs, log, kept, log);
    return joinPath(logs_.path, "");
  }

 private:
  bool open() {
    if (clearLeftover(home_, kWorkDirectoryName)) return false;
    Problem problem;
    work_ = makePrivateDirectory(home_, kWorkDirectoryName, problem);
    if (work_) logs_ = makePrivateDirectory(work_, "logs", problem);
    return static_cast<bool>(logs_);
  }

  const Directory& home_;
  Directory work_;
  Directory logs_;
};

}  // namespace

std::string writePlan(const Home& home, const std::vector<PlannedRun>& runs,
                      const std::vector<ItemFailure>& failures, const std::string& planDirectory,
                      std::ostream& paths) {
  if (home.path.find('\n') != std::string::npos) return "the home's path holds a line break";
  std::error_code error;
  std::filesystem::create_directory(std::filesystem::u8path(planDirectory), error);
  if (error) return "cannot create " + planDirectory + ": " + error.message();
  const std::string root = absoluteDirectory(planDirectory);
  if (root.empty()) return planDirectory + " is not a directory";
  Problem problem;
  const Directory plan = openDirectory(root, problem);
  if (!plan) return problem.text;
  if (!listDirectory(plan, ".").empty()) return planDirectory + " is not an empty directory";
  std::vector<PlanRun> planned;
  for (size_t r = 0; r < runs.size(); ++r) {
    const std::string name = runName(r + 1, runs.size());
    if (stopSignal() || !makeRunDirectory(plan, name, home, runs[r].items, problem)) {
      for (const PlanRun& run : planned) removeTree(plan, run.name);
      return stopSignal() ? "stopped" : problem.text;
    }
    planned.push_back({name, runs[r].items});
  }
  problem = replaceFile(plan, kPlanFile, planText(home.path, planned, failures));
  if (problem) {
    for (const PlanRun& run : planned) removeTree(plan, run.name);
    return problem.text;
  }
  for (const PlanRun& run : planned) paths << joinPath(root, run.name) << '\n';
  return "";
}

std::vector<int> plannedItems(const std::string& runDirectory) {
  const size_t slash = runDirectory.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  Problem problem;
  const Directory parent = openDirectory(runDirectory.substr(0, slash), problem);
  Plan plan;
  if (!parent || !parsePlan(readSmallFile(parent, kPlanFile, kPlanLimit), plan)) return {};
  const std::string name = runDirectory.substr(slash + 1);
  for (const PlanRun& run : plan.runs)
    if (run.name == name) return run.items;
  return {};
}

std::string collectPlan(const std::string& planDirectory, BatchReport& report,
                        const std::function<void(const std::string& home)>& atEnd) {
  const std::string root = absoluteDirectory(planDirectory);
  Problem problem;
  Directory planDir = root.empty() ? Directory() : openDirectory(root, problem);
  Plan plan;
  if (!planDir || !parsePlan(readSmallFile(planDir, kPlanFile, kPlanLimit), plan))
    return planDirectory + " holds no plan written by postergen-batch --plan";
  const Directory home = openDirectory(plan.home, problem);
  if (!home) return problem.text;
  const Handle lock = lockDirectory(home, problem);
  if (problem) return problem.text;

  LogKeeper logs(home);
  std::vector<PlanRun> kept;
  report.failures = plan.failures;
  report.total += static_cast<int>(plan.failures.size());
  for (const PlanRun& run : plan.runs) {
    if (stopSignal()) {
      report.stoppedBy = stopSignal();
      kept.push_back(run);
      continue;
    }
    const std::string path = joinPath(root, run.name);
    Directory runDir = openSubdirectory(planDir, run.name, problem);
    const std::string summary = runDir ? readSmallFile(runDir, kRunSummaryName) : "";
    const std::map<int, std::string> reasons = failuresIn(summary);
    readWarnings(summary, report);
    const std::string log = runDir ? readSmallFile(runDir, "postergen.log") : "";
    const std::string said =
        runDir ? postergenMessage(readSmallFile(runDir, "postergen.out"), log) : "";
    std::istringstream logLines(log);
    for (std::string line; std::getline(logLines, line);)
      if (isLogLine(line)) noteWarning(logLineText(line), run.items, report);
    PlanRun left{run.name, {}};
    bool stuck = false;
    bool failed = false;
    for (size_t j = 1; j <= run.items.size(); ++j) {
      const int item = run.items[j - 1];
      left.items.push_back(0);
      if (!item) continue;
      ++report.total;
      const std::string local = posterName(static_cast<int>(j));
      if (runDir && isRegularFile(runDir, local)) {
        problem = moveFile(runDir, local, home, posterName(item));
        if (!problem) {
          ++report.written;
          report.made.push_back(item);
          continue;
        }
        stuck = true;
        left.items.back() = item;
        report.failures.push_back({item, "cannot move the poster home: " + problem.text +
                                             "; it stays in " + joinPath(path, local)});
        continue;
      }
      failed = true;
      const auto reason = reasons.find(item);
      if (reason != reasons.end()) {
        report.failures.push_back({item, reason->second});
      } else if (!said.empty()) {
        report.failures.push_back(
            {item, withItemNames(said, run.items) + " (no poster in " + path + ")"});
      } else {
        report.failures.push_back({item, "no poster in " + path + ", and no log: was it run?"});
      }
    }
    if (failed && runDir) {
      const std::string where = logs.keep(runDir, run.name);
      if (!where.empty()) report.logsKept = where;
    }
    if (stuck) {
      kept.push_back(left);
    } else {
      runDir = Directory();
      removeTree(planDir, run.name);
    }
  }
  if (kept.empty()) {
    planDir = Directory();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(root), ignored);
    problem = Problem{};
  } else {
    report.planKept = root;
    problem = replaceFile(planDir, kPlanFile, planText(plan.home, kept, {}));
  }
  atEnd(home.path);
  return problem ? problem.text : "";
}
