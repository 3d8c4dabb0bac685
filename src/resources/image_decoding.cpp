#include "resources/image_decoding.h"

#include <SDL_image.h>

#include "resources/colour_management.h"
#include "resources/heif_surface.h"
#include "resources/image_header.h"
#include "resources/image_loading.h"
#include "resources/jpeg_surface.h"
#include "resources/orientation.h"
#include "resources/png_profile.h"
#include "resources/texture_format.h"
#include "resources/texture_limit.h"

namespace {

DecodedImage failed(std::string reason, int status) {
  DecodedImage image;
  image.failure = std::move(reason);
  image.status = status;
  return image;
}

// A decoder's words, behind the file's name unless they name it already
// ("Couldn't open city_photo3.jpeg"), so that a run of many photographs
// says which one is damaged.
std::string namingTheFile(const std::string& path, const std::string& words) {
  if (words.find(path) != std::string::npos) return words;
  return path + ": " + words;
}

#ifdef POSTERGEN_HAVE_HEIF
SDL_Surface* decodeHeif(const std::string& path) { return decodeHeifSurface(path); }
#else
SDL_Surface* decodeHeif(const std::string&) { return nullptr; }  // the check refuses them
#endif

}  // namespace

// Decoders trust the size in a header: a few kilobytes that claim a huge
// picture make them allocate gigabytes, or overflow and write outside their
// buffers. So the header is read first, and only images within the decode
// limits, of the formats whose headers are read, reach a decoder. A file
// that cannot be opened is left to the decoder, which reports it.
//
// JPEGs are decoded here rather than by IMG_Load, in the same way, so that
// their CMYK samples, colour profile and damage are seen in the same pass.
// Pictures with a colour profile are brought to sRGB.
TextureTarget textureTargetOf(SDL_Renderer* renderer) {
  return {opaqueTextureFormat(renderer), largestTexture(renderer)};
}

DecodedImage decodeImage(const std::string& path, const ImageHeader& header, bool photograph,
                         const TextureTarget& target) {
  const std::string refusal = imageRefusal(path, header);
  if (!refusal.empty()) return failed(refusal, kExitUnloadable);
  const std::string format = header.format;
  const bool heif = format == "HEIF" || format == "AVIF";
  SDL_Surface* surface = format == "JPEG" ? decodeJpegSurface(path)
                         : heif           ? decodeHeif(path)
                                          : IMG_Load(path.c_str());
  if (!surface) return failed(namingTheFile(path, SDL_GetError()), kExitUnloadable);
  if (format == "PNG") {
    bool unreadable = false;
    const std::string profile = pngIccProfile(path, unreadable);
    if (unreadable) warnOfUnreadableProfile(path);
    surface = convertToSrgb(surface, profile, path);
  }
  // A HEIF file is turned by its own transformations as it is decoded.
  if (photograph && !heif) {
    surface = turnUpright(surface, exifOrientation(path));
    if (!surface) return failed(SDL_GetError(), kExitUnrenderable);
  }
  DecodedImage image;
  image.surface = toTextureFormat(shrinkToFit(surface, target.largest), target.format);
  if (!image.surface) return failed(SDL_GetError(), kExitUnrenderable);
  return image;
}
