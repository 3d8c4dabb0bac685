#include "platform/cpus.h"

#include <windows.h>

// The process's mask covers the CPUs of its processor group, at most 64.
std::vector<int> allowedCpus() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  std::vector<int> numbers;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
    for (int cpu = 0; cpu < static_cast<int>(8 * sizeof process); ++cpu)
      if (process & (static_cast<DWORD_PTR>(1) << cpu)) numbers.push_back(cpu);
  if (numbers.empty()) numbers.push_back(0);
  return numbers;
}

int allowedCpuCount() { return static_cast<int>(allowedCpus().size()); }
