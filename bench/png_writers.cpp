// Compares ways of writing the same posters' pixels as PNG, one core, all
// in memory: SDL_image's IMG_SavePNG against the project's writer with each
// filter choice, deflate level and deflater, and the thumbnail a writer
// makes when the batch asks. Prints one line per way:
//   WAY seconds=S filter=S deflate=S bytes=N
// Usage: png_writers POSTER.png...
#include <SDL.h>
#include <SDL_image.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "png/png_writer.h"
#include "thumbnail/thumbnail.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point begin) {
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

struct Way {
  const char* name;
  PngFilters filters;
  int level;
  PngDeflater deflater = PngDeflater::kLibdeflate;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<SDL_Surface*> posters;
  for (int i = 1; i < argc; ++i) {
    SDL_Surface* loaded = IMG_Load(argv[i]);
    if (!loaded) return 1;
    posters.push_back(SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ABGR8888, 0));
    SDL_FreeSurface(loaded);
  }
  double total = 0;
  size_t bytes = 0;
  for (SDL_Surface* s : posters) {
    SDL_RWops* memory = SDL_RWFromMem(std::malloc(64 << 20), 64 << 20);
    const auto begin = Clock::now();
    if (IMG_SavePNG_RW(s, memory, 0) != 0) return 1;
    total += since(begin);
    bytes += static_cast<size_t>(SDL_RWtell(memory));
    SDL_RWclose(memory);
  }
  std::printf("IMG_SavePNG seconds=%.3f bytes=%zu\n", total, bytes);
  total = 0;
  bytes = 0;
  for (SDL_Surface* s : posters) {
    const auto begin = Clock::now();
    bytes += thumbnailOfPixels(static_cast<const uint8_t*>(s->pixels), s->w, s->h,
                               static_cast<size_t>(s->pitch))
                 .jpeg.size();
    total += since(begin);
  }
  std::printf("thumbnail seconds=%.3f bytes=%zu\n", total, bytes);

  const Way ways[] = {
      {"adaptive-5-chosen", PngFilters::kAdaptive, 5, PngDeflater::kChosen},
      {"adaptive-isal", PngFilters::kAdaptive, 5, PngDeflater::kIsal},
      {"adaptive-6", PngFilters::kAdaptive, 6},
      {"adaptive-5", PngFilters::kAdaptive, 5},
      {"adaptive-4", PngFilters::kAdaptive, 4},
      {"adaptive-3", PngFilters::kAdaptive, 3},
      {"adaptive-7", PngFilters::kAdaptive, 7},
      {"up-6", PngFilters::kUp, 6},
      {"up-4", PngFilters::kUp, 4},
      {"sub-6", PngFilters::kSub, 6},
  };
  for (const Way& way : ways) {
    double filtering = 0, deflating = 0;
    size_t size = 0;
    for (SDL_Surface* s : posters) {
      auto begin = Clock::now();
      ByteBuffer rows = filterPngRows(static_cast<const uint8_t*>(s->pixels), s->w, s->h,
                                      static_cast<size_t>(s->pitch), way.filters);
      filtering += since(begin);
      begin = Clock::now();
      DeflatedPng png;
      if (!rows || !deflatePngRows(rows.get(), s->w, s->h, png, way.level, way.deflater)) return 1;
      size_t written = 0;
      writePngChunks(png, [&](const void*, size_t n) {
        written += n;
        return true;
      });
      deflating += since(begin);
      size += written;
    }
    std::printf("%s seconds=%.3f filter=%.3f deflate=%.3f bytes=%zu\n", way.name,
                filtering + deflating, filtering, deflating, size);
  }
  return 0;
}
