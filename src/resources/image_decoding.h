// Decodes image files into surfaces ready to become textures, on any
// thread: nothing here touches the renderer, writes to standard output or
// ends the process.
#ifndef POSTERGEN_RESOURCES_IMAGE_DECODING_H_
#define POSTERGEN_RESOURCES_IMAGE_DECODING_H_

#include <SDL.h>

#include <cstdio>
#include <string>

#include "resources/drawn_size.h"
#include "resources/image_header.h"

// What the renderer's textures are, for decoding pictures ready for them:
// the format an opaque picture is brought to (texture_format.h;
// SDL_PIXELFORMAT_UNKNOWN: none) and the largest size (texture_limit.h; 0
// for a side without a limit).
struct TextureTarget {
  Uint32 format = SDL_PIXELFORMAT_UNKNOWN;
  SDL_Point largest = {0, 0};
};
TextureTarget textureTargetOf(SDL_Renderer* renderer);

struct DecodedImage {
  SDL_Surface* surface = nullptr;  // owned by the receiver; null on failure
  std::string failure;             // the reason, as it goes to standard output
  int status = 0;                  // the exit status the failure calls for
};

// Decodes the open file, whose path names it in messages, going by its
// header (readImageHeader's of the same open file, read by the caller, who
// may need it too): an image beyond the decode limits, of another format or
// with a header that cannot be read is refused with a reason naming the
// file, before anything is decoded. Otherwise decodes it
// and brings its colours to sRGB; a photograph is also turned upright by
// its EXIF orientation. Everything is read from this one file, which is
// never reopened by its path. Warnings (damage, colour profiles) are logged.
// A picture larger than the target's largest texture is scaled down to
// fit; opaque 3-byte pictures are brought to the target's format. A null
// file is one that could not be opened, and fails as SDL_image says so.
// A picture that place draws smaller than it is comes reduced to the pixels
// the renderer would show there (resources/drawn_size.h); a JPEG is never
// held whole then.
DecodedImage decodeImage(std::FILE* file, const std::string& path, const ImageHeader& header,
                         bool photograph, const TextureTarget& target, const DrawnPlace& place);

#endif  // POSTERGEN_RESOURCES_IMAGE_DECODING_H_
