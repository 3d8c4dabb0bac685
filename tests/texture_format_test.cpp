// Decoded photographs are brought to their texture's format on the
// decoding threads; the bytes must be exactly SDL's own conversion's, or
// the posters would change.
#include "resources/texture_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/scratch_run.h"

namespace {

TEST(TextureFormat, ConvertsThreeBytePixelsAsSdlDoes) {
  Surface rgb(SDL_CreateRGBSurfaceWithFormat(0, 37, 5, 24, SDL_PIXELFORMAT_RGB24));
  std::mt19937 rng(7);
  for (int y = 0; y < rgb->h; ++y)
    for (int i = 0; i < rgb->w * 3; ++i)
      static_cast<Uint8*>(rgb->pixels)[y * rgb->pitch + i] = static_cast<Uint8>(rng());
  for (Uint32 format : {SDL_PIXELFORMAT_RGB888, SDL_PIXELFORMAT_BGR888, SDL_PIXELFORMAT_ARGB8888,
                        SDL_PIXELFORMAT_ABGR8888, SDL_PIXELFORMAT_RGBA8888,
                        SDL_PIXELFORMAT_BGRA8888, SDL_PIXELFORMAT_RGBX8888}) {
    Surface sdl(SDL_ConvertSurfaceFormat(rgb.get(), format, 0));
    Surface ours(toTextureFormat(SDL_DuplicateSurface(rgb.get()), format));
    ASSERT_TRUE(sdl && ours);
    ASSERT_EQ(ours->format->format, format) << SDL_GetPixelFormatName(format);
    for (int y = 0; y < rgb->h; ++y)
      EXPECT_EQ(0, std::memcmp(static_cast<Uint8*>(sdl->pixels) + y * sdl->pitch,
                               static_cast<Uint8*>(ours->pixels) + y * ours->pitch, rgb->w * 4))
          << SDL_GetPixelFormatName(format) << " row " << y;
  }
}

TEST(TextureFormat, LeavesOtherSurfacesAsTheyAre) {
  SDL_Surface* rgba = SDL_CreateRGBSurfaceWithFormat(0, 4, 4, 32, SDL_PIXELFORMAT_RGBA32);
  EXPECT_EQ(toTextureFormat(rgba, SDL_PIXELFORMAT_RGB888), rgba);
  SDL_Surface* keyed = SDL_CreateRGBSurfaceWithFormat(0, 4, 4, 24, SDL_PIXELFORMAT_RGB24);
  SDL_SetColorKey(keyed, SDL_TRUE, 0);
  EXPECT_EQ(toTextureFormat(keyed, SDL_PIXELFORMAT_RGB888), keyed);
  SDL_FreeSurface(rgba);
  SDL_FreeSurface(keyed);
}

}  // namespace
