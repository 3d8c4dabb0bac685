// How the batch shares the CPUs it may use among the runs at once: each run
// is limited to its own share by affinity, and postergen makes one poster
// writer per CPU it may use, so runs never oversubscribe the CPUs.
#ifndef POSTERGEN_BATCH_ENGINE_CPU_SHARE_H_
#define POSTERGEN_BATCH_ENGINE_CPU_SHARE_H_

#include <vector>

// The CPUs of run slot `slot` (0 to jobs - 1): the CPUs split into `jobs`
// consecutive shares as even as they go (C / N each on C CPUs, the larger
// shares last); with more jobs than CPUs, the slots take one CPU each in
// turn.
std::vector<int> cpuShare(const std::vector<int>& cpus, int jobs, int slot);

// The CPUs of the largest share: what one run may use at most.
int largestCpuShare(int cpus, int jobs);

// The jobs when none are asked for: one for every two CPUs, but no more
// than there are items. A run makes the most of two CPUs, its main thread
// composing while a writer deflates; on two CPUs one run of every item was
// measured faster than two runs of half of them on one CPU each.
int defaultJobs(int cpus, int items);

#endif  // POSTERGEN_BATCH_ENGINE_CPU_SHARE_H_
