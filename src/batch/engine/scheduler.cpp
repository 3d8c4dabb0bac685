#include "batch/engine/scheduler.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>

#include "batch/engine/cpu_share.h"
#include "batch/engine/outcome.h"
#include "batch/engine/run_directory.h"
#include "batch/platform/child.h"
#include "batch/platform/directory.h"
#include "batch/platform/machine.h"
#include "contract/run_contract.h"
#include "platform/cpus.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxKeptOutput = 64 * 1024;
// After SIGTERM for a stall, how long a run gets before SIGKILL.
constexpr auto kKillGrace = std::chrono::seconds(10);

struct ActiveRun {
  int id = 0;
  int slot = 0;  // its share of the CPUs
  PlannedRun run;
  std::string name;  // run-<id>
  Directory directory;
  Directory thumbnails;  // where postergen writes the thumbnails, when asked
  Child child;
  Handle log;  // run.log, written as the output comes
  std::string out;
  std::string pendingLine;
  std::string lastLogged;   // the last SDL_Log line, for the reason of a failure
  std::string lastOther;    // the last other line, when there is none
  std::vector<int> shown;   // the numbers its items go by in messages
  std::vector<bool> done;   // per run item: its poster is home
  std::vector<bool> stuck;  // per run item: its poster could not be moved home
  Clock::time_point heard = Clock::now();
  bool stalled = false;
};

class Scheduler {
 public:
  Scheduler(const BatchSetup& setup, Progress& progress, BatchReport& report)
      : setup_(setup),
        progress_(progress),
        report_(report),
        cpus_(allowedCpus()),
        slotTaken_(static_cast<size_t>(std::max(1, setup.jobs)), false) {}

  void run(const std::vector<PlannedRun>& runs) {
    queue_.assign(runs.begin(), runs.end());
    while (!queue_.empty() || !active_.empty()) {
      startWhatFits();
      if (active_.empty()) continue;
      waitForOutput();
      watchForStalls();
      finishEnded();
      progress_.update(report_.written);
    }
    // Now that no run holds their files open (Windows refuses to remove a
    // file that another process has open), what could not go before goes.
    for (const std::string& name : leftovers_) removeTree(*setup_.work, name);
    if (stoppedBy_) report_.stoppedBy = stoppedBy_;
  }

 private:
  void startWhatFits() {
    if (stopSignalCount() > stopsSeen_) stop();
    while (!stoppedBy_ && !abandoned_ && !waitingForResources_ && !queue_.empty() &&
           static_cast<int>(active_.size()) < setup_.jobs &&
           (active_.empty() || activeCost_ + queue_.front().cost <= setup_.budget)) {
      PlannedRun next = std::move(queue_.front());
      queue_.pop_front();
      start(std::move(next));
    }
    if (stoppedBy_) queue_.clear();
  }

  void start(PlannedRun run) {
    auto active = std::make_unique<ActiveRun>();
    active->id = ++runCount_;
    active->name = "run-" + std::to_string(active->id);
    Problem problem;
    active->directory = makeRunDirectory(*setup_.work, active->name, setup_.home, run.items,
                                         problem, static_cast<bool>(setup_.posterHome));
    if (active->directory && setup_.posterHome) {
      Problem none;
      active->thumbnails = openSubdirectory(active->directory, kThumbnailRequestName, none);
    }
    if (active->directory) active->log = createFile(active->directory, "run.log", problem);
    if (active->log) {
      std::string heading = "postergen-batch: run " + std::to_string(active->id) + " of items";
      for (int item : run.items) heading += " " + std::to_string(setup_.home.shownItem(item));
      heading += " (as items 1 to " + std::to_string(run.items.size()) + " of the run)\n";
      writeAll(active->log, heading, "run.log");
      active->slot = static_cast<int>(std::find(slotTaken_.begin(), slotTaken_.end(), false) -
                                      slotTaken_.begin());
      problem = spawnPostergen(setup_.postergen, active->directory, active->child,
                               cpuShare(cpus_, setup_.jobs, active->slot));
    }
    if (problem) {
      active->log = Handle();
      active->directory = Directory();
      removeTree(*setup_.work, active->name);
      if (wantOfResources(problem) && !active_.empty()) {
        // Another run's end frees what this one lacks.
        waitingForResources_ = true;
        queue_.push_front(std::move(run));
        return;
      }
      for (int item : run.items)
        report_.failures.push_back({setup_.home.shownItem(item), problem.text});
      return;
    }
    for (int item : run.items) active->shown.push_back(setup_.home.shownItem(item));
    active->done.assign(run.items.size(), false);
    active->stuck.assign(run.items.size(), false);
    active->run = std::move(run);
    activeCost_ += active->run.cost;
    slotTaken_[static_cast<size_t>(active->slot)] = true;
    active_.push_back(std::move(active));
  }

  void waitForOutput() {
    std::vector<Child*> children;
    for (const auto& active : active_) children.push_back(&active->child);
    for (Output& output : ::waitForOutput(children, 1000)) {
      ActiveRun& active = *active_[output.child];
      active.heard = Clock::now();
      if (output.log) {
        readLog(active, output.text, output.ended);
      } else {
        active.out += output.text;
        if (active.out.size() > kMaxKeptOutput) active.out.resize(kMaxKeptOutput);
      }
    }
    for (const auto& active : active_) samplePeak(active->child);
    if (stopSignalCount() > stopsSeen_) stop();
  }

  void stop() {
    // A second signal stops the runs without waiting for them.
    const Ending ending = stoppedBy_ ? Ending::kKill : Ending::kStop;
    stopsSeen_ = stopSignalCount();
    if (!stoppedBy_) stoppedBy_ = stopSignal();
    for (const auto& active : active_) endChild(active->child, ending);
  }

  void watchForStalls() {
    if (setup_.stallSeconds <= 0) return;
    const Clock::time_point now = Clock::now();
    for (const auto& active : active_) {
      if (!active->stalled && now - active->heard > std::chrono::seconds(setup_.stallSeconds)) {
        active->stalled = true;
        active->heard = now;
        endChild(active->child, Ending::kStall);
      } else if (active->stalled && now - active->heard > kKillGrace) {
        endChild(active->child, Ending::kKill);
      }
    }
  }

  void readLog(ActiveRun& active, const std::string& text, bool ended) {
    writeAll(active.log, text, "run.log");
    active.pendingLine += text;
    size_t start = 0;
    for (size_t end; (end = active.pendingLine.find('\n', start)) != std::string::npos;
         start = end + 1)
      logLine(active, active.pendingLine.substr(start, end - start));
    active.pendingLine.erase(0, start);
    if (active.pendingLine.size() > kMaxKeptOutput) active.pendingLine.clear();
    if (!ended) return;
    if (!active.pendingLine.empty()) logLine(active, active.pendingLine);
    active.pendingLine.clear();
  }

  void logLine(ActiveRun& active, const std::string& line) {
    const bool logged = isLogLine(line);
    (logged ? active.lastLogged : active.lastOther) = line.substr(0, kMaxKeptOutput);
    if (logged) noteWarning(logLineText(line).substr(0, kMaxKeptOutput), active.shown, report_);
    // A hint to look now rather than at the run's end; the file decides.
    const int j = savedItem(line);
    if (j >= 1 && j <= static_cast<int>(active.run.items.size())) bringHome(active, j);
  }

  // Moves the run's poster j home when it exists.
  void bringHome(ActiveRun& active, int j) {
    if (active.done[j - 1] || active.stuck[j - 1]) return;
    const std::string local = posterName(j);
    if (!isRegularFile(active.directory, local)) return;
    const int item = active.run.items[j - 1];
    const Problem problem =
        moveFile(active.directory, local, *setup_.home.directory, posterName(item));
    if (!problem) {
      active.done[j - 1] = true;
      ++report_.written;
      report_.made.push_back(item);
      if (setup_.posterHome)
        setup_.posterHome(item, active.thumbnails ? &active.thumbnails : nullptr,
                          itemFileName(kThumbnailFile, j));
      return;
    }
    active.stuck[j - 1] = true;
    report_.postersKept = true;
    report_.failures.push_back({setup_.home.shownItem(item),
                                "cannot move the poster home: " + problem.text +
                                    "; it is kept as " + joinPath(active.directory.path, local)});
  }

  void finishEnded() {
    for (size_t i = 0; i < active_.size();) {
      if (active_[i]->child.outOpen || active_[i]->child.errOpen) {
        ++i;
        continue;
      }
      finish(*active_[i]);
      activeCost_ -= active_[i]->run.cost;
      slotTaken_[static_cast<size_t>(active_[i]->slot)] = false;
      active_.erase(active_.begin() + static_cast<long>(i));
      waitingForResources_ = false;
    }
  }

  void finish(ActiveRun& active) {
    const Termination how = reap(active.child);
    ++report_.runs;
    report_.largestPeakBytes = std::max(report_.largestPeakBytes, active.child.peakBytes);
    std::vector<int> missing;
    for (size_t j = 1; j <= active.run.items.size(); ++j) {
      bringHome(active, static_cast<int>(j));
      if (!active.done[j - 1] && !active.stuck[j - 1]) missing.push_back(active.run.items[j - 1]);
    }
    const bool keep =
        std::find(active.stuck.begin(), active.stuck.end(), true) != active.stuck.end();
    writeAll(active.log,
             "postergen-batch: standard output: " + active.out + "\npostergen-batch: " +
                 (active.stalled ? "stopped after no progress for " +
                                       std::to_string(setup_.stallSeconds) + " s, "
                                 : "") +
                 describeTermination(how) + ", peak memory " +
                 std::to_string(active.child.peakBytes / (1024 * 1024)) + " MiB, " +
                 std::to_string(missing.size()) + " posters missing\n",
             "run.log");
    active.log = Handle();
    if (!missing.empty() && !stoppedBy_ && report_.written == 0) checkSharedInputs();
    if (!missing.empty() && !stoppedBy_ && !abandoned_) {
      keepLog(active);
      if (active.run.items.size() == 1) {
        const int item = setup_.home.shownItem(missing[0]);
        report_.failures.push_back(
            {item, active.stalled ? "no progress for " + std::to_string(setup_.stallSeconds) + " s"
                                  : withItemNames(failureReason(lastWords(active), how, missing[0]),
                                                  setup_.home.shownItems)});
      } else {
        const auto halves = splitInHalves(missing);
        for (auto half = halves.rbegin(); half != halves.rend(); ++half)
          queue_.push_front(PlannedRun{*half, costOf(*half)});
      }
    }
    active.directory = Directory();
    if (keep) return;
    removeTree(*setup_.work, active.name);
    if (kindOf(*setup_.work, active.name) != FileKind::kMissing) leftovers_.push_back(active.name);
  }

  // The first failure before any poster may be the font's or the
  // background's; then every run fails alike, and the batch ends.
  void checkSharedInputs() {
    if (!setup_.sharedInputsFail || sharedChecked_) return;
    sharedChecked_ = true;
    const bool fail = setup_.sharedInputsFail();
    if (stopSignalCount() > stopsSeen_) stop();
    if (!fail || stoppedBy_) return;
    abandoned_ = true;
    queue_.clear();
    for (const auto& active : active_)
      endChild(active->child, Ending::kStop);  // reaped ones: no-ops
  }

  static std::string lastWords(const ActiveRun& active) {
    return postergenMessage(active.out,
                            active.lastLogged.empty() ? active.lastOther : active.lastLogged);
  }

  int64_t costOf(const std::vector<int>& items) const {
    std::vector<ItemCost> costs;
    for (int item : items) costs.push_back(setup_.costByItem[item]);
    return runCost(costs, setup_.limits);
  }

  void keepLog(const ActiveRun& active) {
    if (!logs_) {
      Problem problem;
      logs_ = makePrivateDirectory(*setup_.work, "logs", problem);
      if (!logs_) return;
    }
    if (!moveFile(active.directory, "run.log", logs_, active.name + ".log"))
      report_.logsKept = joinPath(logs_.path, "");
  }

  const BatchSetup& setup_;
  Progress& progress_;
  BatchReport& report_;
  const std::vector<int> cpus_;  // the batch's, shared among the run slots
  std::vector<bool> slotTaken_;
  std::deque<PlannedRun> queue_;
  std::vector<std::unique_ptr<ActiveRun>> active_;
  Directory logs_;
  std::vector<std::string> leftovers_;  // run directories not yet removed
  int64_t activeCost_ = 0;
  int stopsSeen_ = 0;
  int runCount_ = 0;
  int stoppedBy_ = 0;
  bool waitingForResources_ = false;
  bool sharedChecked_ = false;
  bool abandoned_ = false;  // the shared inputs are at fault
};

}  // namespace

void runBatch(const BatchSetup& setup, const std::vector<PlannedRun>& runs, Progress& progress,
              BatchReport& report) {
  Scheduler(setup, progress, report).run(runs);
}
