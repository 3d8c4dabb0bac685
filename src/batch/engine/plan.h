// Planning: which items go into which postergen run. Pure.
#ifndef POSTERGEN_BATCH_ENGINE_PLAN_H_
#define POSTERGEN_BATCH_ENGINE_PLAN_H_

#include <cstdint>
#include <vector>

// What one item's photograph costs a run: its texture while the run lasts
// (at the size it is drawn, when smaller than its own), and what it holds
// while it is decoded: width x height x 4 bytes, or for a JPEG drawn
// smaller than it is, its drawn size twice and one row. An unknown cost (a header that cannot
// be read) gives the item a run of its own, so that it can cost no other
// item.
struct ItemCost {
  int item = 0;
  int64_t photoBytes = 0;
  bool known = true;
  int64_t decodeBytes = 0;
};

struct PlanLimits {
  int itemsPerRun = 1004;
  int64_t runBudget = 0;    // the memory one run may use: the budget / jobs
  int64_t fixedBytes = 0;   // what a run costs before its first photograph
  int decodingThreads = 0;  // photographs decoded at once, each at its own size
};

// The items of a run, in order; item j of the run is items[j - 1].
struct PlannedRun {
  std::vector<int> items;
  int64_t cost = 0;  // its expected peak memory
};

// The memory a run of these items is expected to need at most.
int64_t runCost(const std::vector<ItemCost>& items, const PlanLimits& limits);

// Consecutive items into runs of at most limits.itemsPerRun items and, when
// more than one, at most limits.runBudget bytes.
std::vector<PlannedRun> planRuns(const std::vector<ItemCost>& items, const PlanLimits& limits);

// True when the memory budget plays no part in the plan: the runs sliced by
// count alone each fit limits.runBudget.
bool fitsByCountAlone(const std::vector<ItemCost>& items, const PlanLimits& limits);

// The items a run did not write, again as runs: in two halves (the first
// the larger), or the one item alone.
std::vector<std::vector<int>> splitInHalves(const std::vector<int>& items);

#endif  // POSTERGEN_BATCH_ENGINE_PLAN_H_
