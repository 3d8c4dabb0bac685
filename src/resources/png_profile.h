// Reads the ICC colour profile embedded in a PNG file (its iCCP chunk).
// Needs no SDL.
#ifndef POSTERGEN_RESOURCES_PNG_PROFILE_H_
#define POSTERGEN_RESOURCES_PNG_PROFILE_H_

#include <string>

// The profile's bytes, as libpng hands them over; empty when the file has
// none, is not a PNG or its header cannot be read.
std::string pngIccProfile(const std::string& path);

#endif  // POSTERGEN_RESOURCES_PNG_PROFILE_H_
