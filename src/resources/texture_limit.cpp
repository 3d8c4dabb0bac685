#include "resources/texture_limit.h"

#include <algorithm>
#include <cstdint>
#include <vector>

SDL_Point largestTexture(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0) return {0, 0};
  return {info.max_texture_width, info.max_texture_height};
}

SDL_Point sizeWithin(int w, int h, SDL_Point limit) {
  // The scale is the smaller of the two sides' own; the other side follows
  // it, rounded, and never drops below one pixel.
  const bool wide = limit.x > 0 && w > limit.x;
  const bool tall = limit.y > 0 && h > limit.y;
  if (!wide && !tall) return {w, h};
  const bool byWidth =
      wide && (!tall || static_cast<int64_t>(limit.x) * h <= static_cast<int64_t>(limit.y) * w);
  if (byWidth) {
    const int64_t fitted = (static_cast<int64_t>(h) * limit.x + w / 2) / w;
    return {limit.x, static_cast<int>(fitted < 1 ? 1 : fitted)};
  }
  const int64_t fitted = (static_cast<int64_t>(w) * limit.y + h / 2) / h;
  return {static_cast<int>(fitted < 1 ? 1 : fitted), limit.y};
}

namespace {

// The source columns (or rows) [first, end) that output pixel i covers.
void span(int i, int from, int to, int& first, int& end) {
  first = static_cast<int>(static_cast<int64_t>(i) * from / to);
  end = static_cast<int>(static_cast<int64_t>(i + 1) * from / to);
  if (end <= first) end = first + 1;
}

}  // namespace

SDL_Surface* shrinkToFit(SDL_Surface* surface, SDL_Point limit) {
  if (!surface) return nullptr;
  const SDL_Point size = sizeWithin(surface->w, surface->h, limit);
  if (size.x == surface->w && size.y == surface->h) return surface;
  // As RGBA bytes, with a colour key turned into transparent pixels.
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGBA32, 0);
  SDL_FreeSurface(surface);
  if (!rgba) return nullptr;
  SDL_Surface* out = SDL_CreateRGBSurfaceWithFormat(0, size.x, size.y, 32, SDL_PIXELFORMAT_RGBA32);
  if (!out) {
    SDL_FreeSurface(rgba);
    return nullptr;
  }
  // One output row at a time: its source rows are summed column-span by
  // column-span, the colours weighted by alpha (premultiplied).
  std::vector<uint64_t> sums(static_cast<size_t>(size.x) * 4);
  std::vector<uint64_t> counts(static_cast<size_t>(size.x));
  for (int oy = 0; oy < size.y; ++oy) {
    std::fill(sums.begin(), sums.end(), 0);
    std::fill(counts.begin(), counts.end(), 0);
    int y0 = 0, y1 = 0;
    span(oy, rgba->h, size.y, y0, y1);
    for (int y = y0; y < y1; ++y) {
      const uint8_t* row =
          static_cast<const uint8_t*>(rgba->pixels) + static_cast<size_t>(y) * rgba->pitch;
      for (int ox = 0; ox < size.x; ++ox) {
        int x0 = 0, x1 = 0;
        span(ox, rgba->w, size.x, x0, x1);
        uint64_t* sum = &sums[static_cast<size_t>(ox) * 4];
        for (int x = x0; x < x1; ++x) {
          const uint8_t* p = row + static_cast<size_t>(x) * 4;
          sum[0] += p[0] * p[3];
          sum[1] += p[1] * p[3];
          sum[2] += p[2] * p[3];
          sum[3] += p[3];
        }
        counts[ox] += static_cast<uint64_t>(x1 - x0);
      }
    }
    uint8_t* target = static_cast<uint8_t*>(out->pixels) + static_cast<size_t>(oy) * out->pitch;
    for (int ox = 0; ox < size.x; ++ox) {
      const uint64_t* sum = &sums[static_cast<size_t>(ox) * 4];
      uint8_t* p = target + static_cast<size_t>(ox) * 4;
      const uint64_t alpha = sum[3];
      for (int c = 0; c < 3; ++c)
        p[c] = alpha ? static_cast<uint8_t>((sum[c] + alpha / 2) / alpha) : 0;
      p[3] = static_cast<uint8_t>((alpha + counts[ox] / 2) / counts[ox]);
    }
  }
  SDL_FreeSurface(rgba);
  return out;
}
