// The CPUs this process may run on, and giving the processes it starts a
// share of them. On Linux these are the process's affinity mask (what
// taskset, cgroup cpusets and Slurm give it), on Windows the process's
// affinity mask. Needs no SDL.
#ifndef POSTERGEN_PLATFORM_CPUS_H_
#define POSTERGEN_PLATFORM_CPUS_H_

#include <vector>

// The numbers of the CPUs this process may run on, in increasing order;
// never empty (when the mask cannot be read, CPU 0 alone).
std::vector<int> allowedCpus();

// How many CPUs this process may run on; at least 1.
int allowedCpuCount();

#ifndef _WIN32
// Limits the calling thread to cpus; the processes it starts afterwards
// inherit the limit. False when the system refuses.
bool limitThisThreadTo(const std::vector<int>& cpus);
#endif

#endif  // POSTERGEN_PLATFORM_CPUS_H_
