// Decodes image files into surfaces ready to become textures, on any
// thread: nothing here touches the renderer, writes to standard output or
// ends the process.
#ifndef POSTERGEN_RESOURCES_IMAGE_DECODING_H_
#define POSTERGEN_RESOURCES_IMAGE_DECODING_H_

#include <SDL.h>

#include <string>

struct DecodedImage {
  SDL_Surface* surface = nullptr;  // owned by the receiver; null on failure
  std::string failure;             // the reason, as it goes to standard output
  int status = 0;                  // the exit status the failure calls for
};

// Reads the header first: an image beyond the decode limits
// (resources/image_header.h), of another format or with a header that
// cannot be read is refused with a reason naming the file. Then decodes it
// and brings its colours to sRGB; a photograph is also turned upright by
// its EXIF orientation. Warnings (damage, colour profiles) are logged.
// Opaque 3-byte pictures are brought to textureFormat (texture_format.h),
// unless it is SDL_PIXELFORMAT_UNKNOWN.
DecodedImage decodeImage(const std::string& path, bool photograph, Uint32 textureFormat);

#endif  // POSTERGEN_RESOURCES_IMAGE_DECODING_H_
