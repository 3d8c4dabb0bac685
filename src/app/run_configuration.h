// Reads the run configuration, "size.txt": the item count and the font size.
#ifndef POSTERGEN_APP_RUN_CONFIGURATION_H_
#define POSTERGEN_APP_RUN_CONFIGURATION_H_

#include <cstdint>
#include <istream>

// Reads two integers by formatted extraction in the classic locale. A field
// that is never reached keeps its value; an unreadable number makes its field
// 0 and an out-of-range one clamps it to the 32-bit limits, and either stops
// reading.
void readRunConfigurationFrom(std::istream& in, int32_t& itemCount, int32_t& fontSize);

// Fills AppState::itemCount and AppState::fontSize from "size.txt". A missing
// or malformed file shows only in the values; nothing is reported. Defined
// with start-up (lifecycle.cpp), so that the reader above needs no SDL.
void readRunConfiguration();

#endif  // POSTERGEN_APP_RUN_CONFIGURATION_H_
