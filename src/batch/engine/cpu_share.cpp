#include "batch/engine/cpu_share.h"

#include <algorithm>
#include <cstddef>

std::vector<int> cpuShare(const std::vector<int>& cpus, int jobs, int slot) {
  const long count = static_cast<long>(cpus.size());
  if (count == 0 || jobs < 1) return cpus;
  if (jobs >= count) return {cpus[static_cast<std::size_t>(slot % count)]};
  const long first = slot * count / jobs;
  const long end = (slot + 1) * count / jobs;
  return std::vector<int>(cpus.begin() + first, cpus.begin() + end);
}

int largestCpuShare(int cpus, int jobs) {
  if (jobs < 1) return cpus;
  return jobs >= cpus ? 1 : (cpus + jobs - 1) / jobs;
}

int defaultJobs(int cpus, int items) { return std::max(1, std::min((cpus + 1) / 2, items)); }
