#include "batch/engine/plan.h"

#include <limits>

int64_t runCost(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  int64_t cost = limits.fixedBytes;
  for (const ItemCost& item : items) cost += item.photoBytes;
  return cost;
}

std::vector<PlannedRun> planRuns(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  std::vector<PlannedRun> runs;
  PlannedRun current;
  current.cost = limits.fixedBytes;
  auto close = [&]() {
    if (current.items.empty()) return;
    runs.push_back(std::move(current));
    current = PlannedRun{};
    current.cost = limits.fixedBytes;
  };
  for (const ItemCost& item : items) {
    const bool full = static_cast<int>(current.items.size()) >= limits.itemsPerRun ||
                      current.cost + item.photoBytes > limits.runBudget;
    if (!item.known || full) close();
    current.items.push_back(item.item);
    current.cost += item.photoBytes;
    if (!item.known) close();
  }
  close();
  return runs;
}

bool fitsByCountAlone(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  PlanLimits byCount = limits;
  byCount.runBudget = std::numeric_limits<int64_t>::max();
  for (const PlannedRun& run : planRuns(items, byCount))
    if (run.cost > limits.runBudget) return false;
  return true;
}

std::vector<std::vector<int>> splitInHalves(const std::vector<int>& items) {
  if (items.size() <= 1) return {items};
  const auto middle = items.begin() + static_cast<long>((items.size() + 1) / 2);
  return {std::vector<int>(items.begin(), middle), std::vector<int>(middle, items.end())};
}
