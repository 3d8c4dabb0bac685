#include "batch/scheduler.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>

#include "batch/child.h"
#include "batch/directory.h"
#include "batch/machine.h"
#include "batch/outcome.h"
#include "batch/run_directory.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxKeptOutput = 64 * 1024;
// After SIGTERM for a stall, how long a run gets before SIGKILL.
constexpr auto kKillGrace = std::chrono::seconds(10);

struct ActiveRun {
  int id = 0;
  PlannedRun run;
  std::string name;  // run-<id>
  std::string path;  // for messages
  UniqueFd directory;
  Child child;
  UniqueFd log;  // run.log, written as the output comes
  std::string out;
  std::string pendingLine;
  std::string lastLogged;   // the last SDL_Log line, for the reason of a failure
  std::string lastOther;    // the last other line, when there is none
  std::vector<int> shown;   // the numbers its items go by in messages
  std::vector<bool> done;   // per run item: its poster is home
  std::vector<bool> stuck;  // per run item: its poster could not be moved home
  bool outOpen = true;
  bool errOpen = true;
  Clock::time_point heard = Clock::now();
  bool stalled = false;
};

class Scheduler {
 public:
  Scheduler(const BatchSetup& setup, Progress& progress, BatchReport& report)
      : setup_(setup), progress_(progress), report_(report) {}

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
    if (stoppedBy_) report_.stoppedBy = stoppedBy_;
  }

 private:
  void startWhatFits() {
    if (stopSignal() && !stoppedBy_) stop();
    while (!stoppedBy_ && !waitingForResources_ && !queue_.empty() &&
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
    active->path = setup_.workPath + "/" + active->name;
    Problem problem;
    active->directory =
        makeRunDirectory(setup_.work, active->name, active->path, setup_.home, run.items, problem);
    if (active->directory)
      active->log =
          createFile(active->directory.get(), "run.log", 0600, active->path + "/run.log", problem);
    if (active->log) {
      std::string heading = "postergen-batch: run " + std::to_string(active->id) + " of items";
      for (int item : run.items) heading += " " + std::to_string(setup_.home.shownItem(item));
      heading += " (as items 1 to " + std::to_string(run.items.size()) + " of the run)\n";
      writeAll(active->log.get(), heading, "run.log");
      problem = spawnPostergen(setup_.postergen, active->directory.get(), active->child);
    }
    if (problem) {
      active->log = UniqueFd();
      active->directory = UniqueFd();
      removeTree(setup_.work, active->name);
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
    active_.push_back(std::move(active));
  }

  void waitForOutput() {
    std::vector<pollfd> fds{{stopFd(), POLLIN, 0}};
    for (const auto& active : active_) {
      fds.push_back({active->outOpen ? active->child.out.get() : -1, POLLIN, 0});
      fds.push_back({active->errOpen ? active->child.err.get() : -1, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 1000) < 0) return;  // EINTR: the stop pipe tells why
    if (fds[0].revents) stop();
    for (size_t i = 0; i < active_.size(); ++i) {
      ActiveRun& active = *active_[i];
      samplePeak(active.child);
      if (fds[1 + 2 * i].revents) {
        active.heard = Clock::now();
        if (!readInto(active.child.out.get(), active.out)) active.outOpen = false;
        if (active.out.size() > kMaxKeptOutput) active.out.resize(kMaxKeptOutput);
      }
      if (fds[2 + 2 * i].revents) {
        active.heard = Clock::now();
        readLog(active);
      }
    }
  }

  void stop() {
    const int signal = takeStopSignal();
    // A second signal stops the runs without waiting for them.
    const int forwarded = stoppedBy_ ? SIGKILL : SIGTERM;
    if (!stoppedBy_) stoppedBy_ = signal ? signal : SIGTERM;
    for (const auto& active : active_) kill(active->child.pid, forwarded);
  }

  void watchForStalls() {
    if (setup_.stallSeconds <= 0) return;
    const Clock::time_point now = Clock::now();
    for (const auto& active : active_) {
      if (!active->stalled && now - active->heard > std::chrono::seconds(setup_.stallSeconds)) {
        active->stalled = true;
        active->heard = now;
        kill(active->child.pid, SIGTERM);
      } else if (active->stalled && now - active->heard > kKillGrace) {
        kill(active->child.pid, SIGKILL);
      }
    }
  }

  void readLog(ActiveRun& active) {
    std::string text;
    const bool open = readInto(active.child.err.get(), text);
    writeAll(active.log.get(), text, "run.log");
    active.pendingLine += text;
    size_t start = 0;
    for (size_t end; (end = active.pendingLine.find('\n', start)) != std::string::npos;
         start = end + 1)
      logLine(active, active.pendingLine.substr(start, end - start));
    active.pendingLine.erase(0, start);
    if (active.pendingLine.size() > kMaxKeptOutput) active.pendingLine.clear();
    if (open) return;
    if (!active.pendingLine.empty()) logLine(active, active.pendingLine);
    active.pendingLine.clear();
    active.errOpen = false;
  }

  void logLine(ActiveRun& active, const std::string& line) {
    const bool logged = line.rfind("INFO: ", 0) == 0;
    (logged ? active.lastLogged : active.lastOther) = line.substr(0, kMaxKeptOutput);
    if (logged) noteWarning(line.substr(6, kMaxKeptOutput), active.shown, report_);
    // A hint to look now rather than at the run's end; the file decides.
    const int j = savedItem(line);
    if (j >= 1 && j <= static_cast<int>(active.run.items.size())) bringHome(active, j);
  }

  // Moves the run's poster j home when it exists.
  void bringHome(ActiveRun& active, int j) {
    if (active.done[j - 1] || active.stuck[j - 1]) return;
    const std::string local = posterName(j);
    if (!isRegularFile(active.directory.get(), local)) return;
    const int item = active.run.items[j - 1];
    const Problem problem =
        moveFile(active.directory.get(), local, setup_.home.fd, posterName(item), posterName(item));
    if (!problem) {
      active.done[j - 1] = true;
      ++report_.written;
      return;
    }
    active.stuck[j - 1] = true;
    report_.postersKept = true;
    report_.failures.push_back(
        {setup_.home.shownItem(item), "cannot move the poster home: " + problem.text +
                                          "; it is kept as " + active.path + "/" + local});
  }

  void finishEnded() {
    for (size_t i = 0; i < active_.size();) {
      if (active_[i]->outOpen || active_[i]->errOpen) {
        ++i;
        continue;
      }
      finish(*active_[i]);
      activeCost_ -= active_[i]->run.cost;
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
    writeAll(active.log.get(),
             "postergen-batch: standard output: " + active.out + "\npostergen-batch: " +
                 (active.stalled ? "stopped after no progress for " +
                                       std::to_string(setup_.stallSeconds) + " s, "
                                 : "") +
                 describeTermination(how) + ", peak memory " +
                 std::to_string(active.child.peakBytes / (1024 * 1024)) + " MiB, " +
                 std::to_string(missing.size()) + " posters missing\n",
             "run.log");
    active.log = UniqueFd();
    if (!missing.empty() && !stoppedBy_) {
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
    active.directory = UniqueFd();
    if (!keep) removeTree(setup_.work, active.name);
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
      logs_ = makePrivateDirectory(setup_.work, "logs", setup_.workPath + "/logs", problem);
      if (!logs_) return;
    }
    const std::string name = active.name + ".log";
    if (!moveFile(active.directory.get(), "run.log", logs_.get(), name, name))
      report_.logsKept = setup_.workPath + "/logs/";
  }

  const BatchSetup& setup_;
  Progress& progress_;
  BatchReport& report_;
  std::deque<PlannedRun> queue_;
  std::vector<std::unique_ptr<ActiveRun>> active_;
  UniqueFd logs_;
  int64_t activeCost_ = 0;
  int runCount_ = 0;
  int stoppedBy_ = 0;
  bool waitingForResources_ = false;
};

}  // namespace

void runBatch(const BatchSetup& setup, const std::vector<PlannedRun>& runs, Progress& progress,
              BatchReport& report) {
  Scheduler(setup, progress, report).run(runs);
}
