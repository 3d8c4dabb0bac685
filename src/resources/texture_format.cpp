#include "resources/texture_format.h"

#include <cstdint>

Uint32 opaqueTextureFormat(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0 || info.num_texture_formats == 0)
    return SDL_PIXELFORMAT_UNKNOWN;
  for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
    const Uint32 format = info.texture_formats[i];
    if (!SDL_ISPIXELFORMAT_FOURCC(format) && !SDL_ISPIXELFORMAT_ALPHA(format)) return format;
  }
  return info.texture_formats[0];
}

SDL_Surface* toTextureFormat(SDL_Surface* surface, Uint32 format) {
  if (!surface || surface->format->format != SDL_PIXELFORMAT_RGB24 || SDL_HasColorKey(surface) ||
      SDL_ISPIXELFORMAT_FOURCC(format) || SDL_BYTESPERPIXEL(format) != 4)
    return surface;
  SDL_Surface* out = SDL_CreateRGBSurfaceWithFormat(0, surface->w, surface->h, 32, format);
  if (!out) {
    SDL_FreeSurface(surface);
    return nullptr;
  }
  // Opaque: the alpha bits, where the format has them, are all set; the
  // unused bits of a format without alpha stay clear, as SDL leaves them.
  const SDL_PixelFormat* f = out->format;
  const uint32_t opaque = f->Amask;
  for (int y = 0; y < surface->h; ++y) {
    const uint8_t* in = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
    uint32_t* row =
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) + y * out->pitch);
    for (int x = 0; x < surface->w; ++x, in += 3)
      row[x] = (uint32_t{in[0]} << f->Rshift) | (uint32_t{in[1]} << f->Gshift) |
               (uint32_t{in[2]} << f->Bshift) | opaque;
  }
  SDL_FreeSurface(surface);
  return out;
}
