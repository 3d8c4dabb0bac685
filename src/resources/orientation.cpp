#include "resources/orientation.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>

#include <cstring>

// libexif's loader is fed as exif_data_new_from_file feeds it, a kilobyte
// at a time until it has had enough, so that a file turns exactly as that
// reader turns it. The APP1 segment libjpeg could keep while decoding is
// not the same: the loader gives up at markers libjpeg passes over (APP3,
// APP12, ...) and then finds no orientation.
int exifOrientation(std::FILE* file) {
  ExifLoader* loader = exif_loader_new();
  if (!loader) return 1;
  std::rewind(file);
  unsigned char chunk[1024];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    if (!exif_loader_write(loader, chunk, static_cast<unsigned int>(n))) break;
  ExifData* data = exif_loader_get_data(loader);
  exif_loader_unref(loader);
  if (!data) return 1;
  int orientation = 1;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data &&
      entry->size >= 2) {
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
    if (value >= 2 && value <= 8) orientation = value;
  }
  exif_data_unref(data);
  return orientation;
}

int exifOrientation(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return 1;
  const int orientation = exifOrientation(file);
  std::fclose(file);
  return orientation;
}

SDL_Point storedPosition(int orientation, int x, int y, int w, int h) {
  switch (orientation) {
    case 2: return {w - 1 - x, y};          // mirrored left to right
    case 3: return {w - 1 - x, h - 1 - y};  // turned half round
    case 4: return {x, h - 1 - y};          // mirrored top to bottom
    case 5: return {y, x};                  // transposed
    case 6: return {y, h - 1 - x};          // to be turned clockwise
    case 7: return {w - 1 - y, h - 1 - x};  // transversed
    case 8: return {w - 1 - y, x};          // to be turned anticlockwise
    default: return {x, y};
  }
}

namespace {

// Copies what the source carries beside its pixels: palette, colour key,
// blend mode.
void copyRenderingState(SDL_Surface* from, SDL_Surface* to) {
  if (from->format->palette) SDL_SetSurfacePalette(to, from->format->palette);
  Uint32 key = 0;
  if (SDL_GetColorKey(from, &key) == 0) SDL_SetColorKey(to, SDL_TRUE, key);
  SDL_BlendMode mode = SDL_BLENDMODE_NONE;
  if (SDL_GetSurfaceBlendMode(from, &mode) == 0) SDL_SetSurfaceBlendMode(to, mode);
}

}  // namespace

SDL_Surface* turnUpright(SDL_Surface* surface, int orientation) {
  if (!surface || orientation < 2 || orientation > 8) return surface;
  const int w = surface->w;
  const int h = surface->h;
  const bool swapsSides = orientation >= 5;
  SDL_Surface* upright =
      SDL_CreateRGBSurfaceWithFormat(0, swapsSides ? h : w, swapsSides ? w : h,
                                     surface->format->BitsPerPixel, surface->format->format);
  if (upright) {
    copyRenderingState(surface, upright);
    const int bytes = surface->format->BytesPerPixel;
    SDL_LockSurface(surface);
    const auto* source = static_cast<const Uint8*>(surface->pixels);
    for (int y = 0; y < upright->h; ++y) {
      Uint8* row = static_cast<Uint8*>(upright->pixels) + y * upright->pitch;
      for (int x = 0; x < upright->w; ++x) {
        const SDL_Point from = storedPosition(orientation, x, y, w, h);
        std::memcpy(row + x * bytes, source + from.y * surface->pitch + from.x * bytes, bytes);
      }
    }
    SDL_UnlockSurface(surface);
  }
  SDL_FreeSurface(surface);
  return upright;
}
