// What a batch tells people: the progress line while it runs, the summary
// at its end, and its exit status. Pure but for the clock.
#ifndef POSTERGEN_BATCH_ENGINE_REPORT_H_
#define POSTERGEN_BATCH_ENGINE_REPORT_H_

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct ItemFailure {
  int item = 0;
  std::string reason;
};

struct BatchReport {
  int total = 0;    // the items the batch set out to make
  int written = 0;  // posters moved home
  int skipped = 0;  // up to date, left alone (--resume)
  std::vector<ItemFailure> failures;
  int runs = 0;                  // postergen runs made
  int64_t largestPeakBytes = 0;  // the highest peak resident memory of a run
  int stoppedBy = 0;             // the stop signal, or 0
  std::string logsKept;          // where the logs of failed runs are, or empty
  bool postersKept = false;      // some posters could not be moved home (named in failures)
  std::string planKept;          // --collect: the plan kept for those, or empty
  std::string error;             // the batch could not run at all
  double seconds = 0;
  // What postergen warned of, by item, in the item's own file names; those
  // of the shared inputs (bg.png) under item 0.
  std::map<int, std::set<std::string>> warnings;
  bool strict = false;              // --strict: an item with a warning counts as failed
  std::vector<int> made;            // the items whose posters came home, in that order
  std::string contactSheet;         // the page written, or empty
  std::string contactSheetProblem;  // what went wrong with it, in words, or empty
};

// Files a warning that postergen logged ("Warning:city_photo3.jpeg ...",
// without SDL's prefix) in a run of items (item j of the run is items[j-1]),
// under the item it names, in the item's own file names. Other lines are
// left alone.
void noteWarning(const std::string& logged, const std::vector<int>& items, BatchReport& report);

// The warnings listed in a summary that summaryText wrote, filed again.
void readWarnings(const std::string& summary, BatchReport& report);

// "37/2010 posters, 12.3/min, 2h 40m left"
std::string progressLine(int done, int total, double seconds);
// "45s", "3m 12s", "2h 05m"
std::string formatDuration(double seconds);

// Progress on standard error: on a terminal one line rewritten in place,
// otherwise a plain line at every tenth of the posters.
class Progress {
 public:
  Progress(int total, bool enabled, bool terminal);
  void update(int done);
  void clear();  // before other output

 private:
  int total_;
  bool enabled_;
  bool terminal_;
  int shownTenths_ = 0;
  bool lineShown_ = false;
  size_t shownWidth_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

std::string summaryText(const BatchReport& report);

// 0 all written, 1 some failed, 128 + the signal when stopped.
int exitStatus(const BatchReport& report);

#endif  // POSTERGEN_BATCH_ENGINE_REPORT_H_
