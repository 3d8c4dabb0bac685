// Decodes JPEG files into surfaces in sRGB, logging what libjpeg found
// wrong with their data.
#ifndef POSTERGEN_RESOURCES_JPEG_SURFACE_H_
#define POSTERGEN_RESOURCES_JPEG_SURFACE_H_

#include <SDL.h>

#include <cstdio>
#include <string>

#include "resources/drawn_size.h"

// The picture as an RGB24 surface, its colours brought to sRGB
// (resources/colour_management.h). Damaged data (ending early, corrupt) is
// decoded as far as it goes, as SDL_image would, after a warning line that
// names the file at path and gives libjpeg's text. Read from the file's
// start. Null, with SDL's error set, when it cannot be decoded.
//
// Given picks for the stored picture (resources/drawn_size.h), only the
// picked pixels are kept, each row as it is decoded, so the whole picture
// is never held; *reduced then says whether the picks fitted the picture
// and were used.
SDL_Surface* decodeJpegSurface(std::FILE* file, const std::string& path,
                               const PixelPicks* picks = nullptr, bool* reduced = nullptr);

#endif  // POSTERGEN_RESOURCES_JPEG_SURFACE_H_
