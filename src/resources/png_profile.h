// Reads the ICC colour profile embedded in a PNG file (its iCCP chunk).
// Needs no SDL.
#ifndef POSTERGEN_RESOURCES_PNG_PROFILE_H_
#define POSTERGEN_RESOURCES_PNG_PROFILE_H_

#include <string>

// The profile's bytes, as libpng hands them over; empty when the file has
// none, is not a PNG or its header cannot be read. libpng drops a profile
// it finds damaged, with a warning: unreadable is then set.
std::string pngIccProfile(const std::string& path, bool& unreadable);

#endif  // POSTERGEN_RESOURCES_PNG_PROFILE_H_
