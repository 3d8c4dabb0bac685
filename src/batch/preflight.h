// The preflight: one postergen run with no items, in a run directory holding
// only the font, the background and size.txt "0 <size>". It checks that the
// font and the background load, and measures what a run costs before its
// first photograph.
#ifndef POSTERGEN_BATCH_PREFLIGHT_H_
#define POSTERGEN_BATCH_PREFLIGHT_H_

#include <cstdint>
#include <string>

#include "batch/home.h"

// A run's memory beyond the preflight's and its photographs': the export's
// target texture, read-back buffer and encoder, measured at two posters'
// pixels and given a third for room. A photograph's decoded surface is
// freed before the first export, so it does not add to the peak.
constexpr int64_t kExportBytes = int64_t{3} * 2160 * 3840 * 4;

// What a run costs before its first photograph when there is no preflight
// to measure it (--plan): the benchmark's OpenGL run, with room to spare.
constexpr int64_t kAssumedFixedBytes = int64_t{400} << 20;

struct PreflightResult {
  std::string failure;     // postergen's message and status, or empty
  int64_t fixedBytes = 0;  // the preflight's peak plus kExportBytes
  int stoppedBy = 0;       // a stop signal ended it
};

// Runs in work/preflight, which it removes again.
PreflightResult runPreflight(const std::string& postergen, const Home& home, const Directory& work,
                             int stallSeconds);

#endif  // POSTERGEN_BATCH_PREFLIGHT_H_
