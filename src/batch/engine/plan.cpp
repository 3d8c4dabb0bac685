#include "batch/engine/plan.h"

#include <algorithm>
#include <limits>

namespace {

// A run's cost so far: its textures, and its largest photograph decoded.
struct Cost {
  int64_t resident = 0;
  int64_t largestDecode = 0;
  int64_t with(const ItemCost& item, const PlanLimits& limits) const {
    return resident + item.photoBytes +
           limits.decodingThreads * std::max(largestDecode, item.decodeBytes);
  }
  void add(const ItemCost& item) {
    resident += item.photoBytes;
    largestDecode = std::max(largestDecode, item.decodeBytes);
  }
};

}  // namespace

int64_t runCost(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  Cost cost{limits.fixedBytes, 0};
  for (const ItemCost& item : items) cost.add(item);
  return cost.resident + limits.decodingThreads * cost.largestDecode;
}

std::vector<PlannedRun> planRuns(const std::vector<ItemCost>& items, const PlanLimits& limits) {
  std::vector<PlannedRun> runs;
  PlannedRun current;
  Cost cost{limits.fixedBytes, 0};
  current.cost = limits.fixedBytes;
  auto close = [&]() {
    if (current.items.empty()) return;
    runs.push_back(std::move(current));
    current = PlannedRun{};
    cost = Cost{limits.fixedBytes, 0};
    current.cost = limits.fixedBytes;
  };
  for (const ItemCost& item : items) {
    const bool full = static_cast<int>(current.items.size()) >= limits.itemsPerRun ||
                      cost.with(item, limits) > limits.runBudget;
    if (!item.known || full) close();
    current.items.push_back(item.item);
    current.cost = cost.with(item, limits);
    cost.add(item);
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
