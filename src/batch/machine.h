// What postergen-batch learns from the machine: its CPUs, its available
// memory, where postergen is, and the stop signals (SIGINT, SIGTERM and
// SIGHUP), which it turns into a readable pipe for the poll loop.
#ifndef POSTERGEN_BATCH_MACHINE_H_
#define POSTERGEN_BATCH_MACHINE_H_

#include <cstdint>
#include <string>

int onlineCpus();

// MemAvailable from /proc/meminfo, else the free physical pages.
int64_t availableMemory();

// The postergen to run, as an absolute path (a run starts in its own
// directory): choice when given (a name without a slash is looked up on
// PATH), else the one beside this program, else the first one on PATH.
// Empty when there is none.
std::string findPostergen(const std::string& choice);

// The absolute, symbolic-link-free form of path; empty when it is no
// directory.
std::string absoluteDirectory(const std::string& path);

// Installs the stop handlers, and ignores SIGPIPE: a reader of the progress
// that goes away costs the display, not the batch. Each stop signal
// received writes one byte to the pipe stopFd() reads.
void catchStopSignals();
int stopFd();
// The last stop signal received, or 0; consumes the pipe's bytes.
int takeStopSignal();
// The last stop signal received, or 0.
int stopSignal();

#endif  // POSTERGEN_BATCH_MACHINE_H_
