#include "resources/image_decoding.h"

#include <SDL_image.h>

#include "resources/colour_management.h"
#include "resources/drawn_size.h"
#include "resources/file_reading.h"
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
SDL_Surface* decodeHeif(std::FILE* file, const std::string& path) {
  return decodeHeifSurface(file, path);
}
#else
// The check refuses them.
SDL_Surface* decodeHeif(std::FILE*, const std::string&) { return nullptr; }
#endif

// SDL_image's decoders, over the open file, given the type IMG_Load would
// take from the path's extension (which picks the formats without a
// signature, such as TGA).
SDL_Surface* decodeBySdlImage(std::FILE* file, const std::string& path) {
  std::rewind(file);
  SDL_RWops* rw = readingRWops(file);
  if (!rw) return nullptr;
  const char* dot = SDL_strrchr(path.c_str(), '.');
  return IMG_LoadTyped_RW(rw, 1, dot ? dot + 1 : nullptr);
}

}  // namespace

// Decoders trust the size in a header: a few kilobytes that claim a huge
// picture make them allocate gigabytes, or overflow and write outside their
// buffers. So the header is read first, and only images within the decode
// limits, of the formats whose headers are read, reach a decoder. The
// header, the pixels, the colour profile and the orientation are all read
// from the one open file, so that no file put in its place meanwhile is
// decoded unchecked. A file that cannot be opened is reported in the words
// SDL_image would use.
//
// JPEGs are decoded here rather than by IMG_Load, in the same way, so that
// their CMYK samples, colour profile and damage are seen in the same pass.
// Pictures with a colour profile are brought to sRGB.
TextureTarget textureTargetOf(SDL_Renderer* renderer) {
  return {opaqueTextureFormat(renderer), largestTexture(renderer)};
}

// A JPEG photograph or background drawn smaller than it is keeps only the
// pixels the renderer would show, picked row by row as it is decoded, when
// nothing between decoding and drawing changes its size: the picks are read
// for its upright size and turned to its stored order.
bool jpegPicks(const ImageHeader& header, int orientation, const TextureTarget& target,
               const DrawnPlace& place, PixelPicks& stored) {
  if (!place.placement || !place.picks) return false;
  const int w = static_cast<int>(header.width);
  const int h = static_cast<int>(header.height);
  const bool swapsSides = orientation >= 5 && orientation <= 8;
  const int uprightW = swapsSides ? h : w;
  const int uprightH = swapsSides ? w : h;
  const SDL_Point fitted = sizeWithin(uprightW, uprightH, target.largest);
  if (fitted.x != uprightW || fitted.y != uprightH) return false;
  const SDL_Rect destination = place.placement(uprightW, uprightH);
  PixelPicks upright;
  if (!drawnSmaller(uprightW, uprightH, destination) ||
      !place.picks(uprightW, uprightH, destination, upright))
    return false;
  stored = storedPicks(upright, orientation, w, h);
  return true;
}

DecodedImage decodeImage(std::FILE* file, const std::string& path, const ImageHeader& header,
                         bool photograph, const TextureTarget& target, const DrawnPlace& place) {
  const std::string refusal = imageRefusal(path, header);
  if (!refusal.empty()) return failed(refusal, kExitUnloadable);
  if (!file) return failed("Couldn't open " + path, kExitUnloadable);
  const std::string format = header.format;
  const bool heif = format == "HEIF" || format == "AVIF";
  // A HEIF file is turned by its own transformations as it is decoded.
  const int orientation = photograph && !heif ? exifOrientation(file) : 1;
  bool reduced = false;
  SDL_Surface* surface = nullptr;
  if (format == "JPEG") {
    PixelPicks picks;
    const bool picked = jpegPicks(header, orientation, target, place, picks);
    surface = decodeJpegSurface(file, path, picked ? &picks : nullptr, &reduced);
  } else {
    surface = heif ? decodeHeif(file, path) : decodeBySdlImage(file, path);
  }
  if (!surface) return failed(namingTheFile(path, SDL_GetError()), kExitUnloadable);
  if (format == "PNG") {
    bool unreadable = false;
    const std::string profile = pngIccProfile(file, unreadable);
    if (unreadable) warnOfUnreadableProfile(path);
    surface = convertToSrgb(surface, profile, path);
  }
  surface = turnUpright(surface, orientation);
  if (!surface) return failed(SDL_GetError(), kExitUnrenderable);
  if (!reduced) surface = reduceToDrawnSize(shrinkToFit(surface, target.largest), place);
  DecodedImage image;
  image.surface = toTextureFormat(surface, target.format);
  if (!image.surface) return failed(SDL_GetError(), kExitUnrenderable);
  return image;
}
