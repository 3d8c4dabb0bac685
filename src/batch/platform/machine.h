// What postergen-batch learns from the machine (its CPUs are in app/cpus.h):
// its available memory, where postergen is, and the stop signals (SIGINT,
// SIGTERM and SIGHUP), which it turns into a readable pipe for the poll loop.
#ifndef POSTERGEN_BATCH_PLATFORM_MACHINE_H_
#define POSTERGEN_BATCH_PLATFORM_MACHINE_H_

#include <cstdint>
#include <string>
#include <vector>

// Installs the stop handlers (below), on Windows sets the console to UTF-8,
// and returns the command line's arguments, without the program, in UTF-8.
std::vector<std::string> startProgram(int argc, char** argv);

// The status to end with: on Windows a batch stopped by Ctrl-C ends with
// Ctrl-C's own status, STATUS_CONTROL_C_EXIT, as postergen does.
int exitStatusOnThisPlatform(int status);

// Standard error is a terminal (a console on Windows), where the progress
// line is rewritten in place.
bool errorIsTerminal();

// MemAvailable from /proc/meminfo, else the free physical pages.
int64_t availableMemory();

// Lowers the calling thread's priority as far as it safely goes, so that
// it runs on the time the CPUs have to spare from the other threads and
// processes of its user.
void lowerThisThreadsPriority();

// The postergen to run, as an absolute path (a run starts in its own
// directory): choice when given (a name without a slash is looked up on
// PATH), else the one beside this program, else the first one on PATH.
// Empty when there is none.
std::string findPostergen(const std::string& choice);

// The absolute, symbolic-link-free form of path; empty when it is no
// directory.
std::string absoluteDirectory(const std::string& path);

// Installs the stop handlers (SIGINT, SIGTERM and SIGHUP; on Windows the
// console's Ctrl-C, Ctrl-Break and close), and on POSIX ignores SIGPIPE: a
// reader of the progress that goes away costs the display, not the batch.
// A stop wakes waitForOutput (child.h).
void catchStopSignals();
// The last stop signal received (SIGINT for Ctrl-C), or 0.
int stopSignal();
// How many stop signals have come.
int stopSignalCount();
#ifndef _WIN32
// Readable once a stop signal has come, for poll; takeStopSignal empties it.
int stopFd();
void takeStopSignal();
#endif

#endif  // POSTERGEN_BATCH_PLATFORM_MACHINE_H_
