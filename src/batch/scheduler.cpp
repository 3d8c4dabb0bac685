#include "batch/scheduler.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <memory>

#include "batch/child.h"
#include "batch/machine.h"
#include "batch/outcome.h"
#include "batch/run_directory.h"

namespace {

constexpr size_t kMaxKeptOutput = 64 * 1024;

struct ActiveRun {
  int id = 0;
  PlannedRun run;
  std::string directory;
  Child child;
  std::ofstream log;  // in the run directory until it is known to be wanted
  std::string out;
  std::string pendingLine;
  std::string lastLogged;     // the last SDL_Log line, for the reason of a failure
  std::string lastOther;      // the last other line, when there is none
  std::vector<bool> handled;  // per run item: moved home, or failed on the way
  bool outOpen = true;
  bool errOpen = true;
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
      finishEnded();
      progress_.update(report_.written);
    }
    if (stoppedBy_) report_.stoppedBy = stoppedBy_;
  }

 private:
  void startWhatFits() {
    while (!stoppedBy_ && !queue_.empty() && static_cast<int>(active_.size()) < setup_.jobs &&
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
    active->directory = setup_.workDirectory + "/run-" + std::to_string(active->id);
    active->handled.assign(run.items.size(), false);
    active->run = std::move(run);
    std::string error = makeRunDirectory(active->directory, setup_.home, active->run.items);
    if (error.empty()) {
      active->log.open(active->directory + "/run.log");
      active->log << "postergen-batch: run " << active->id << " of items";
      for (int item : active->run.items) active->log << ' ' << item;
      active->log << " (as items 1 to " << active->run.items.size() << " of the run)\n";
      error = spawnPostergen(setup_.postergen, active->directory, active->child);
    }
    if (!error.empty()) {
      for (int item : active->run.items) report_.failures.push_back({item, error});
      removeTree(active->directory);
      return;
    }
    activeCost_ += active->run.cost;
    active_.push_back(std::move(active));
  }

  void waitForOutput() {
    std::vector<pollfd> fds{{stopFd(), POLLIN, 0}};
    for (const auto& active : active_) {
      fds.push_back({active->outOpen ? active->child.outFd : -1, POLLIN, 0});
      fds.push_back({active->errOpen ? active->child.errFd : -1, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 1000) < 0) return;  // EINTR: the stop pipe tells why
    if (fds[0].revents) stop();
    for (size_t i = 0; i < active_.size(); ++i) {
      ActiveRun& active = *active_[i];
      if (fds[1 + 2 * i].revents && !readInto(active.child.outFd, active.out)) {
        close(active.child.outFd);
        active.outOpen = false;
      }
      if (active.out.size() > kMaxKeptOutput) active.out.resize(kMaxKeptOutput);
      if (fds[2 + 2 * i].revents) readLog(active);
    }
  }

  void stop() {
    const int signal = takeStopSignal();
    // A second signal stops the runs without waiting for them.
    const int forwarded = stoppedBy_ ? SIGKILL : SIGTERM;
    if (!stoppedBy_) stoppedBy_ = signal ? signal : SIGTERM;
    for (const auto& active : active_) kill(active->child.pid, forwarded);
  }

  void readLog(ActiveRun& active) {
    std::string text;
    const bool open = readInto(active.child.errFd, text);
    active.log << text;
    active.pendingLine += text;
    size_t start = 0;
    for (size_t end; (end = active.pendingLine.find('\n', start)) != std::string::npos;
         start = end + 1)
      logLine(active, active.pendingLine.substr(start, end - start));
    active.pendingLine.erase(0, start);
    if (open) return;
    if (!active.pendingLine.empty()) logLine(active, active.pendingLine);
    active.pendingLine.clear();
    close(active.child.errFd);
    active.errOpen = false;
  }

  void logLine(ActiveRun& active, const std::string& line) {
    (line.rfind("INFO: ", 0) == 0 ? active.lastLogged : active.lastOther) =
        line.substr(0, kMaxKeptOutput);
    const int j = savedItem(line);
    if (j < 1 || j > static_cast<int>(active.run.items.size()) || active.handled[j - 1]) return;
    active.handled[j - 1] = true;
    const int item = active.run.items[j - 1];
    const std::string error =
        moveFile(active.directory + "/" + posterName(j), setup_.home.path + "/" + posterName(item));
    if (error.empty()) {
      ++report_.written;
    } else {
      report_.failures.push_back({item, "cannot move the poster home: " + error});
    }
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
    }
  }

  void finish(ActiveRun& active) {
    int64_t peak = 0;
    const Termination how = reap(active.child.pid, peak);
    ++report_.runs;
    report_.largestPeakBytes = std::max(report_.largestPeakBytes, peak);
    std::vector<int> missing;
    for (size_t j = 0; j < active.run.items.size(); ++j)
      if (!active.handled[j]) missing.push_back(active.run.items[j]);
    active.log << "postergen-batch: standard output: " << active.out << "\n"
               << "postergen-batch: " << describeTermination(how) << ", peak memory "
               << peak / (1024 * 1024) << " MiB, " << missing.size() << " posters missing\n";
    active.log.close();
    if (!missing.empty() && !stoppedBy_) {
      keepLog(active);
      if (active.run.items.size() == 1) {
        report_.failures.push_back({missing[0], failureReason(lastWords(active), how, missing[0])});
      } else {
        const auto halves = splitInHalves(missing);
        for (auto half = halves.rbegin(); half != halves.rend(); ++half)
          queue_.push_front(PlannedRun{*half, costOf(*half)});
      }
    }
    removeTree(active.directory);
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
    const std::string logs = setup_.workDirectory + "/logs";
    if (!makeDirectory(logs).empty()) return;
    if (moveFile(active.directory + "/run.log", logs + "/run-" + std::to_string(active.id) + ".log")
            .empty())
      report_.logsKept = logs + "/";
  }

  const BatchSetup& setup_;
  Progress& progress_;
  BatchReport& report_;
  std::deque<PlannedRun> queue_;
  std::vector<std::unique_ptr<ActiveRun>> active_;
  int64_t activeCost_ = 0;
  int runCount_ = 0;
  int stoppedBy_ = 0;
};

}  // namespace

void runBatch(const BatchSetup& setup, const std::vector<PlannedRun>& runs, Progress& progress,
              BatchReport& report) {
  Scheduler(setup, progress, report).run(runs);
}
