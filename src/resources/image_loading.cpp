#include "resources/image_loading.h"

#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "resources/colour_management.h"
#include "resources/image_header.h"
#include "resources/jpeg_surface.h"
#include "resources/orientation.h"
#include "resources/png_profile.h"

namespace {

[[noreturn]] void exitWithSdlError(int status) {
  std::fputs(SDL_GetError(), stdout);
  std::exit(status);
}

[[noreturn]] void refuse(const std::string& reason) {
  std::fputs(reason.c_str(), stdout);
  std::exit(kExitUnloadable);
}

// Decoders trust the size in a header: a few kilobytes that claim a huge
// picture make them allocate gigabytes, or overflow and write outside their
// buffers. So the header is read first, and only images within the decode
// limits, of the formats whose headers are read, reach a decoder. A file
// that cannot be opened is left to the decoder, which reports it. Returns
// the image's format, "" when the file cannot be opened.
std::string refuseUnsafeImage(const std::string& path) {
  const ImageHeader header = readImageHeader(path);
  const std::string reason = imageRefusal(path, header);
  if (!reason.empty()) refuse(reason);
  return header.format;
}

// JPEGs are decoded here rather than by IMG_Load, in the same way, so that
// their CMYK samples, colour profile and damage are seen in the same pass.
// Pictures with a colour profile are brought to sRGB.
SDL_Surface* decode(const std::string& path) {
  const std::string format = refuseUnsafeImage(path);
  SDL_Surface* surface = format == "JPEG" ? decodeJpegSurface(path) : IMG_Load(path.c_str());
  if (!surface) exitWithSdlError(kExitUnloadable);
  if (format == "PNG") {
    bool unreadable = false;
    const std::string profile = pngIccProfile(path, unreadable);
    if (unreadable) warnOfUnreadableProfile(path);
    surface = convertToSrgb(surface, profile, path);
  }
  return surface;
}

// Frees the surface once the texture exists.
SDL_Texture* makeTexture(SDL_Surface* surface) {
  SDL_Texture* texture = SDL_CreateTextureFromSurface(AppState::renderer, surface);
  if (!texture) exitWithSdlError(kExitUnrenderable);
  SDL_FreeSurface(surface);
  return texture;
}

}  // namespace

SDL_Texture* loadTexture(std::string path) { return makeTexture(decode(path)); }

SDL_Texture* loadPhotographTexture(std::string path) {
  SDL_Surface* decoded = decode(path);
  SDL_Surface* surface = turnUpright(decoded, exifOrientation(path));
  if (!surface) exitWithSdlError(kExitUnrenderable);
  return makeTexture(surface);
}
