#include "platform/cpus.h"

#ifdef __linux__
#include <sched.h>

#include <cerrno>
#else
#include <unistd.h>
#endif

#ifdef __linux__
namespace {

// The mask's size grows until the kernel's own fits.
cpu_set_t* readMask(int& cpus) {
  for (cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (!set) return nullptr;
    if (sched_getaffinity(0, CPU_ALLOC_SIZE(cpus), set) == 0) return set;
    CPU_FREE(set);
    if (errno != EINVAL) return nullptr;
  }
  return nullptr;
}

}  // namespace

std::vector<int> allowedCpus() {
  std::vector<int> numbers;
  int cpus = 0;
  if (cpu_set_t* set = readMask(cpus)) {
    for (int cpu = 0; cpu < cpus; ++cpu)
      if (CPU_ISSET_S(cpu, CPU_ALLOC_SIZE(cpus), set)) numbers.push_back(cpu);
    CPU_FREE(set);
  }
  if (numbers.empty()) numbers.push_back(0);
  return numbers;
}

bool limitThisThreadTo(const std::vector<int>& cpus) {
  int highest = 0;
  for (int cpu : cpus) highest = cpu > highest ? cpu : highest;
  const int size = highest + 1;
  cpu_set_t* set = CPU_ALLOC(size);
  if (!set) return false;
  CPU_ZERO_S(CPU_ALLOC_SIZE(size), set);
  for (int cpu : cpus) CPU_SET_S(cpu, CPU_ALLOC_SIZE(size), set);
  const bool limited = sched_setaffinity(0, CPU_ALLOC_SIZE(size), set) == 0;
  CPU_FREE(set);
  return limited;
}
#else
// Elsewhere every online CPU, and no limits.
std::vector<int> allowedCpus() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  std::vector<int> numbers;
  for (int cpu = 0; cpu < (n > 0 ? n : 1); ++cpu) numbers.push_back(cpu);
  return numbers;
}

bool limitThisThreadTo(const std::vector<int>&) { return false; }
#endif

int allowedCpuCount() { return static_cast<int>(allowedCpus().size()); }
