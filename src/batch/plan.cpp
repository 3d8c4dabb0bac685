#include "batch/plan.h"

#include <algorithm>

namespace {

// Each photograph is decoded into a surface before its texture is made: the
// largest one is briefly held twice.
int64_t costOf(const PlanLimits& limits, int64_t photoSum, int64_t largestPhoto) {
  return limits.fixedBytes + photoSum + largestPhoto;
}

}  // namespace

int64_t runCost(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  int64_t sum = 0;
  int64_t largest = 0;
  for (const ItemCost& item : items) {
    sum += item.photoBytes;
    largest = std::max(largest, item.photoBytes);
  }
  return costOf(limits, sum, largest);
}

std::vector<PlannedRun> planRuns(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  std::vector<PlannedRun> runs;
  PlannedRun current;
  int64_t sum = 0;
  int64_t largest = 0;
  auto close = [&]() {
    if (current.items.empty()) return;
    current.cost = costOf(limits, sum, largest);
    runs.push_back(std::move(current));
    current = PlannedRun{};
    sum = largest = 0;
  };
  for (const ItemCost& item : items) {
    const bool full = static_cast<int>(current.items.size()) >= limits.itemsPerRun ||
                      costOf(limits, sum + item.photoBytes, std::max(largest, item.photoBytes)) >
                          limits.runBudget;
    if (!item.known || full) close();
    current.items.push_back(item.item);
    sum += item.photoBytes;
    largest = std::max(largest, item.photoBytes);
    if (!item.known) close();
  }
  close();
  return runs;
}

std::vector<std::vector<int>> splitInHalves(const std::vector<int>& items) {
  if (items.size() <= 1) return {items};
  const auto middle = items.begin() + static_cast<long>((items.size() + 1) / 2);
  return {std::vector<int>(items.begin(), middle), std::vector<int>(middle, items.end())};
}
