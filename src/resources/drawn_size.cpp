#include "resources/drawn_size.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <map>

#include "contract/run_contract.h"
#include "resources/orientation.h"

namespace {

// A probe pixel names one coordinate in its first two bytes; the third
// says which: a column (in the band of rows drawn first) or a row.
constexpr uint8_t kNamesColumn = 0xA5;
constexpr uint8_t kNamesRow = 0x5A;
// Rows and columns on either side of where the first destination row and
// column are expected to sample.
constexpr int kBand = 4;

SDL_Texture* ownTarget = nullptr;  // poster-sized, where the canvas will not do
std::map<std::array<int, 6>, PixelPicks> known;

struct Span {
  int first;
  int end;
};

// The source lines around the one the first of drawn lines samples.
Span bandAround(int source, int drawn) {
  const int expected = static_cast<int>(static_cast<int64_t>(source) / (2 * int64_t{drawn}));
  return {SDL_max(0, expected - kBand), SDL_min(source, expected + kBand + 1)};
}

// Fills the band with pixels that name their column (or row), updates the
// probe with it, draws the probe and reads line back.
bool drawAndRead(SDL_Renderer* renderer, SDL_Texture* probe, int w, int h, SDL_Rect destination,
                 bool columns, Span band, SDL_Rect line, std::vector<uint8_t>& read) {
  const int bandW = columns ? w : band.end - band.first;
  const int bandH = columns ? band.end - band.first : h;
  std::vector<uint8_t> pixels(static_cast<size_t>(bandW) * bandH * 4);
  for (int y = 0; y < bandH; ++y)
    for (int x = 0; x < bandW; ++x) {
      const int named = columns ? x : y;
      uint8_t* p = &pixels[(static_cast<size_t>(y) * bandW + x) * 4];
      p[0] = static_cast<uint8_t>(named);
      p[1] = static_cast<uint8_t>(named >> 8);
      p[2] = columns ? kNamesColumn : kNamesRow;
      p[3] = 255;
    }
  const SDL_Rect area =
      columns ? SDL_Rect{0, band.first, bandW, bandH} : SDL_Rect{band.first, 0, bandW, bandH};
  read.resize(static_cast<size_t>(line.w) * line.h * 4);
  return SDL_UpdateTexture(probe, &area, pixels.data(), bandW * 4) == 0 &&
         SDL_RenderCopy(renderer, probe, nullptr, &destination) == 0 &&
         SDL_RenderReadPixels(renderer, &line, SDL_PIXELFORMAT_ABGR8888, read.data(), line.w * 4) ==
             0;
}

// The coordinates the line's pixels name; false when one names something
// else (the first line sampled outside the band).
bool named(const std::vector<uint8_t>& read, uint8_t mark, std::vector<int>& out) {
  out.resize(read.size() / 4);
  for (size_t i = 0; i < out.size(); ++i) {
    if (read[4 * i + 2] != mark) return false;
    out[i] = read[4 * i] | read[4 * i + 1] << 8;
  }
  return true;
}

// Whether the target keeps the probe's names: 8 bits for each of red,
// green and blue.
bool namesSurvive(SDL_Texture* target) {
  Uint32 format = SDL_PIXELFORMAT_UNKNOWN;
  if (!target || SDL_QueryTexture(target, &format, nullptr, nullptr, nullptr) != 0) return false;
  switch (format) {
    case SDL_PIXELFORMAT_RGB888:
    case SDL_PIXELFORMAT_BGR888:
    case SDL_PIXELFORMAT_RGBX8888:
    case SDL_PIXELFORMAT_BGRX8888:
    case SDL_PIXELFORMAT_ARGB8888:
    case SDL_PIXELFORMAT_ABGR8888:
    case SDL_PIXELFORMAT_RGBA8888:
    case SDL_PIXELFORMAT_BGRA8888: return true;
    default: return false;
  }
}

}  // namespace

bool readPixelPicks(SDL_Renderer* renderer, SDL_Texture* target, int w, int h, SDL_Rect destination,
                    PixelPicks& picks) {
  if (w > 65536 || h > 65536) return false;
  SDL_Texture* probe =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, w, h);
  SDL_ScaleMode scaling = SDL_ScaleModeLinear;
  bool read = target && probe && SDL_GetTextureScaleMode(probe, &scaling) == 0 &&
              scaling == SDL_ScaleModeNearest &&
              SDL_SetTextureBlendMode(probe, SDL_BLENDMODE_NONE) == 0;
  SDL_Texture* previous = SDL_GetRenderTarget(renderer);
  if (read) read = SDL_SetRenderTarget(renderer, target) == 0;
  std::vector<uint8_t> row;
  std::vector<uint8_t> column;
  // The first destination row shows the columns, the first destination
  // column the rows.
  read = read &&
         drawAndRead(renderer, probe, w, h, destination, true, bandAround(h, destination.h),
                     {destination.x, destination.y, destination.w, 1}, row) &&
         drawAndRead(renderer, probe, w, h, destination, false, bandAround(w, destination.w),
                     {destination.x, destination.y, 1, destination.h}, column) &&
         named(row, kNamesColumn, picks.columns) && named(column, kNamesRow, picks.rows);
  SDL_SetRenderTarget(renderer, previous);
  SDL_DestroyTexture(probe);
  return read;
}

bool knownPixelPicks(SDL_Renderer* renderer, SDL_Texture* canvas, int w, int h,
                     SDL_Rect destination, PixelPicks& picks) {
  const std::array<int, 6> key = {w, h, destination.x, destination.y, destination.w, destination.h};
  auto found = known.find(key);
  if (found == known.end()) {
    if (!namesSurvive(canvas)) {
      if (!ownTarget)
        ownTarget = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET,
                                      kPosterWidth, kPosterHeight);
      canvas = ownTarget;
    }
    PixelPicks read;
    if (!readPixelPicks(renderer, canvas, w, h, destination, read)) read = {};
    found = known.emplace(key, std::move(read)).first;
  }
  picks = found->second;
  return !picks.columns.empty();
}

bool drawnSmaller(int w, int h, SDL_Rect destination) {
  return destination.w >= 1 && destination.h >= 1 &&
         int64_t{destination.w} * destination.h < int64_t{w} * h;
}

// The reduced stored picture turned upright must show, at each upright
// place, the stored pixel the upright picks name there. Along an upright
// row the stored column (or, for the orientations that swap sides, the
// stored row) changes alone, and along an upright column the other, so
// the first upright row and column say everything.
PixelPicks storedPicks(const PixelPicks& upright, int orientation, int w, int h) {
  const int pickedW = static_cast<int>(upright.columns.size());
  const int pickedH = static_cast<int>(upright.rows.size());
  const bool swapsSides = orientation >= 5 && orientation <= 8;
  const int reducedW = swapsSides ? pickedH : pickedW;
  const int reducedH = swapsSides ? pickedW : pickedH;
  PixelPicks stored;
  stored.columns.resize(reducedW);
  stored.rows.resize(reducedH);
  if (pickedW == 0 || pickedH == 0) return stored;
  auto place = [&](int x, int y) {
    const SDL_Point reduced = storedPosition(orientation, x, y, reducedW, reducedH);
    const SDL_Point whole = storedPosition(orientation, upright.columns[x], upright.rows[y], w, h);
    stored.columns[reduced.x] = whole.x;
    stored.rows[reduced.y] = whole.y;
  };
  for (int x = 0; x < pickedW; ++x) place(x, 0);
  for (int y = 0; y < pickedH; ++y) place(0, y);
  return stored;
}

SDL_Surface* pickPixels(const SDL_Surface* surface, const PixelPicks& picks) {
  const int w = static_cast<int>(picks.columns.size());
  const int h = static_cast<int>(picks.rows.size());
  SDL_Surface* source = const_cast<SDL_Surface*>(surface);
  SDL_Surface* picked =
      SDL_CreateRGBSurfaceWithFormat(0, w, h, source->format->BitsPerPixel, source->format->format);
  if (!picked) return nullptr;
  if (source->format->palette) SDL_SetSurfacePalette(picked, source->format->palette);
  Uint32 key = 0;
  if (SDL_GetColorKey(source, &key) == 0) SDL_SetColorKey(picked, SDL_TRUE, key);
  SDL_BlendMode blend = SDL_BLENDMODE_NONE;
  SDL_GetSurfaceBlendMode(source, &blend);
  SDL_SetSurfaceBlendMode(picked, blend);
  if (SDL_LockSurface(source) != 0) {
    SDL_FreeSurface(picked);
    return nullptr;
  }
  const int bytes = source->format->BytesPerPixel;
  for (int y = 0; y < h; ++y) {
    const uint8_t* from = static_cast<const uint8_t*>(source->pixels) +
                          static_cast<size_t>(picks.rows[y]) * source->pitch;
    uint8_t* to = static_cast<uint8_t*>(picked->pixels) + static_cast<size_t>(y) * picked->pitch;
    if (bytes == 4) {
      for (int x = 0; x < w; ++x) std::memcpy(to + 4 * x, from + 4 * picks.columns[x], 4);
    } else {
      for (int x = 0; x < w; ++x)
        std::memcpy(to + bytes * x, from + static_cast<size_t>(bytes) * picks.columns[x], bytes);
    }
  }
  SDL_UnlockSurface(source);
  return picked;
}

SDL_Surface* reduceToDrawnSize(SDL_Surface* surface, const DrawnPlace& place) {
  // Pictures of fewer than 8 bits a pixel, and those drawn at least as
  // large as they are, stay as they are.
  if (!surface || !place.placement || !place.picks || surface->format->BitsPerPixel % 8 != 0)
    return surface;
  const SDL_Rect destination = place.placement(surface->w, surface->h);
  PixelPicks picks;
  if (!drawnSmaller(surface->w, surface->h, destination) ||
      !place.picks(surface->w, surface->h, destination, picks))
    return surface;
  SDL_Surface* picked = pickPixels(surface, picks);
  if (!picked) return surface;
  SDL_FreeSurface(surface);
  return picked;
}

void finishReducing() {
  SDL_DestroyTexture(ownTarget);
  ownTarget = nullptr;
  known.clear();
}
