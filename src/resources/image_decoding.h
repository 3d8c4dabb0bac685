// Decodes image files into surfaces ready to become textures, on any
// thread: nothing here touches the renderer, writes to standard output or
// ends the process.
#ifndef POSTERGEN_RESOURCES_IMAGE_DECODING_H_
#define POSTERGEN_RESOURCES_IMAGE_DECODING_H_

#include <SDL.h>

#include <string>

#include "resources/image_header.h"

struct DecodedImage {
  SDL_Surface* surface = nullptr;  // owned by the receiver; null on failure
  std::string failure;             // the reason, as it goes to standard output
  int status = 0;                  // the exit status the failure calls for
};

// Goes by the file's header (readImageHeader's, read by the caller, who
// may need it too): an image beyond the decode limits, of another format or
// with a header that cannot be read is refused with a reason naming the
// file, before anything is decoded. Otherwise decodes it
// and brings its colours to sRGB; a photograph is also turned upright by
// its EXIF orientation. Warnings (damage, colour profiles) are logged.
// Opaque 3-byte pictures are brought to textureFormat (texture_format.h),
// unless it is SDL_PIXELFORMAT_UNKNOWN.
DecodedImage decodeImage(const std::string& path, const ImageHeader& header, bool photograph,
                         Uint32 textureFormat);

#endif  // POSTERGEN_RESOURCES_IMAGE_DECODING_H_
