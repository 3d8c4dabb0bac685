// Reads the ICC colour profile embedded in a PNG file (its iCCP chunk).
// Needs no SDL.
#ifndef POSTERGEN_RESOURCES_PNG_PROFILE_H_
#define POSTERGEN_RESOURCES_PNG_PROFILE_H_

#include <cstdio>
#include <string>

// The profile's bytes, as libpng hands them over, read from the file's
// start; empty when the file has none, is not a PNG or its header cannot be
// read. libpng drops a profile it finds damaged, with a warning: unreadable
// is then set.
std::string pngIccProfile(std::FILE* file, bool& unreadable);

#endif  // POSTERGEN_RESOURCES_PNG_PROFILE_H_
