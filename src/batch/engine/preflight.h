// The preflight: one postergen run with no items, in a run directory holding
// only the font, the background and size.txt "0 <size>". It checks that the
// font and the background load, and measures what a run costs before its
// first photograph.
#ifndef POSTERGEN_BATCH_ENGINE_PREFLIGHT_H_
#define POSTERGEN_BATCH_ENGINE_PREFLIGHT_H_

#include <cstdint>
#include <string>

#include "contract/run_contract.h"

#include "batch/engine/home.h"

// A run's memory beyond the preflight's and its photographs': the export's
// target texture, read-back buffer and encoder, measured at two posters'
// pixels and given a third for room. A photograph's decoded surface is
// freed before the first export, so it does not add to the peak.
constexpr int64_t kPosterBytes = int64_t{kPosterWidth} * kPosterHeight * 4;
constexpr int64_t kExportBytes = 3 * kPosterBytes;

// The same for a run that may use this many CPUs: with two or more, each
// CPU's poster writer holds a poster buffer (its pixels, then its filtered
// rows) and a deflated-stream buffer, which on grain fills to two thirds of
// a poster: two posters more per CPU, the buffers' bound.
int64_t exportBytesOnCpus(int cpus);

// What a run costs before its first photograph when there is no preflight
// to measure it (--plan): the benchmark's OpenGL run, with room to spare;
// and the same for a run that may use this many CPUs.
constexpr int64_t kAssumedFixedBytes = int64_t{400} << 20;
int64_t assumedFixedBytesOnCpus(int cpus);

// The same when the preflight is left out (the memory budget does not
// shape the plan): the assumption, and the background's decoded pixels
// three times over, as its surface, its texture and the driver's copy.
int64_t unmeasuredFixedBytes(int64_t backgroundBytes, int cpus);

struct PreflightResult {
  std::string failure;     // postergen's message and status, or empty
  int64_t fixedBytes = 0;  // the preflight's peak plus exportBytesOnCpus(runCpus)
  int stoppedBy = 0;       // a stop signal ended it
};

// Where in work the preflight runs. The directory is removed again when it
// ends, but on Windows a file cannot be removed while another process has
// it open: beside running runs, which hold the font and the background, it
// may stay until they end.
constexpr const char* kPreflightDirectoryName = "preflight";

// Runs in work/preflight, which it removes again.
PreflightResult runPreflight(const std::string& postergen, const Home& home, const Directory& work,
                             int stallSeconds, int runCpus);

#endif  // POSTERGEN_BATCH_ENGINE_PREFLIGHT_H_
