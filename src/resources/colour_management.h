// Brings decoded pictures to sRGB, the colour space posters are made and
// shown in: RGB and grey pictures through their embedded ICC profile, CMYK
// samples through theirs or, without one, the uncalibrated formula. Little
// CMS converts, with the perceptual intent.
#ifndef POSTERGEN_RESOURCES_COLOUR_MANAGEMENT_H_
#define POSTERGEN_RESOURCES_COLOUR_MANAGEMENT_H_

#include <SDL.h>

#include <string>
#include <vector>

// Converts the surface's pixels from the profile's colours to sRGB, in
// place, and returns it. A surface without a profile, or with one that
// maps colours as sRGB does, is left exactly as it is. A profile that
// cannot be read or used is logged as a warning naming path, and the
// surface is left as decoded.
SDL_Surface* convertToSrgb(SDL_Surface* surface, const std::string& profile,
                           const std::string& path);

// Logs that the picture at path has a profile that cannot be read.
void warnOfUnreadableProfile(const std::string& path);

// A new RGB24 surface with the colours of CMYK samples (C, M, Y, K, one
// byte each, w x h pixels row after row), stored inverted when
// adobeInverted (255 is no ink, as Adobe's marker says). Through the CMYK
// profile when one is given and usable, otherwise (logged as above when it
// cannot be used) with the uncalibrated formula. Null when no surface can
// be made.
SDL_Surface* cmykToSrgb(const std::vector<unsigned char>& cmyk, int w, int h, bool adobeInverted,
                        const std::string& profile, const std::string& path);

#endif  // POSTERGEN_RESOURCES_COLOUR_MANAGEMENT_H_
