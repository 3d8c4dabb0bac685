#include "resources/jpeg_surface.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/warning_log.h"
#include "resources/colour_management.h"
#include "resources/jpeg_decoding.h"

SDL_Surface* decodeJpegSurface(std::FILE* file, const std::string& path) {
  JpegPicture picture;
  std::vector<unsigned char> cmyk;
  SDL_Surface* surface = nullptr;
  auto rows = [&](const JpegPicture& p, size_t& pitch) -> unsigned char* {
    if (p.cmyk) {
      try {
        cmyk.resize(static_cast<size_t>(p.width) * p.height * 4);
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
      pitch = static_cast<size_t>(p.width) * 4;
      return cmyk.data();
    }
    surface = SDL_CreateRGBSurfaceWithFormat(0, p.width, p.height, 24, SDL_PIXELFORMAT_RGB24);
    if (!surface) return nullptr;
    pitch = static_cast<size_t>(surface->pitch);
    return static_cast<unsigned char*>(surface->pixels);
  };
  const bool decoded = decodeJpeg(file, picture, rows);
  if (!decoded) {
    SDL_FreeSurface(surface);
    SDL_SetError("%s: the JPEG cannot be decoded: %s", path.c_str(), picture.error.c_str());
    return nullptr;
  }
  if (picture.warningCount > 0) {
    const int more = picture.warningCount - 1;
    const std::string others = more == 0 ? "" : " (and " + std::to_string(more) + " more)";
    logWarning("%s is damaged and may show only in part; libjpeg: %s%s\n", path.c_str(),
               picture.warning.c_str(), others.c_str());
  }
  if (!picture.cmyk) return convertToSrgb(surface, picture.iccProfile, path);
  surface = cmykToSrgb(cmyk, picture.width, picture.height, picture.adobeMarker, picture.iccProfile,
                       path);
  if (!surface) SDL_SetError("%s: out of memory for its pixels", path.c_str());
  return surface;
}
