// Decodes HEIF (HEIC, as phones save photographs) and AVIF files into
// surfaces in sRGB, through libheif.
#ifndef POSTERGEN_RESOURCES_HEIF_SURFACE_H_
#define POSTERGEN_RESOURCES_HEIF_SURFACE_H_

#include <SDL.h>

#include <cstdio>
#include <string>

// The primary image (never a thumbnail), turned and mirrored by the file's
// own transformations (irot, imir) exactly once: an EXIF Orientation tag
// inside the file is not applied on top, as HEIF readers do. 8 bits a
// sample (more are brought to 8), RGB24, or RGBA32 with its alpha. An
// embedded ICC profile brings the colours to sRGB
// (resources/colour_management.h), naming path in warnings. Read from the
// file's start; it must stay open until the surface is returned. Null,
// with SDL's error set to libheif's words, when the file cannot be
// decoded; libheif's security limits stay on.
SDL_Surface* decodeHeifSurface(std::FILE* file, const std::string& path);

#endif  // POSTERGEN_RESOURCES_HEIF_SURFACE_H_
