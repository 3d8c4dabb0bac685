// Textures reduced to the size they are drawn at make the very posters
// full-size textures make: postergen's posters against posters drawn here
// from full-size textures, pixel for pixel, on both renderers, for
// pictures larger and smaller than their place, of many shapes.
#include <SDL_image.h>
#include <gtest/gtest.h>
#ifdef POSTERGEN_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "poster/fit.h"
#include "support/scratch_run.h"

namespace {

struct Size {
  int w, h;
};

// Photographs of many shapes, most drawn smaller than they are, one larger,
// one a long strip; and a background larger than the poster.
const Size kPhotographs[] = {{2600, 1950}, {1950, 2600}, {1234, 987},
                             {5000, 100},  {333, 2000},  {1400, 1401}};
const Size kBackground{2400, 4000};

// OpenGL drivers leak by themselves: what they keep of the reference drawn
// here is no leak of postergen's, whose runs are checked on their own.
#ifdef POSTERGEN_SANITIZED
struct LeaksIgnored {
  LeaksIgnored() { __lsan_disable(); }
  ~LeaksIgnored() { __lsan_enable(); }
};
#else
struct LeaksIgnored {};
#endif

// The poster drawn from full-size textures, as a renderer of the driver
// (empty: the default) draws it, in ABGR8888.
std::vector<uint8_t> drawnInFull(const ScratchDir& dir, int item, const char* driver) {
  [[maybe_unused]] const LeaksIgnored ignored;
  SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return {};
  SDL_Window* window = SDL_CreateWindow("", 0, 0, 0, 0, SDL_WINDOW_BORDERLESS);
  SDL_Renderer* renderer =
      SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
  if (!renderer)
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
  SDL_DisplayMode mode{};
  SDL_GetWindowDisplayMode(window, &mode);
  SDL_Texture* canvas =
      SDL_CreateTexture(renderer, mode.format, SDL_TEXTUREACCESS_TARGET, 2160, 3840);
  SDL_Surface* bg = IMG_Load(dir.at("bg.png").c_str());
  SDL_Surface* photo = IMG_Load(dir.at("city_photo" + std::to_string(item) + ".jpeg").c_str());
  SDL_Texture* bgTexture = SDL_CreateTextureFromSurface(renderer, bg);
  SDL_Texture* photoTexture = SDL_CreateTextureFromSurface(renderer, photo);
  SDL_SetRenderTarget(renderer, canvas);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, bgTexture, nullptr, nullptr);
  const SDL_Rect place = photographPlace(photo->w, photo->h);
  SDL_RenderCopy(renderer, photoTexture, nullptr, &place);
  std::vector<uint8_t> pixels(2160 * 3840 * 4);
  SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, pixels.data(), 2160 * 4);
  SDL_FreeSurface(bg);
  SDL_FreeSurface(photo);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return pixels;
}

class DrawnSize : public testing::TestWithParam<const char*> {};

TEST_P(DrawnSize, PostersAreThoseOfFullSizeTextures) {
  const char* driver = GetParam();
  ScratchDir dir;
  const int items = static_cast<int>(std::size(kPhotographs));
  dir.populate(items);
  savePng(noisySurface(kBackground.w, kBackground.h, 99), dir.at("bg.png"));
  for (int i = 1; i <= items; ++i) {
    // Lossless, so that the reference decodes the pixels postergen does;
    // no caption, so that only the pictures are drawn.
    savePng(noisySurface(kPhotographs[i - 1].w, kPhotographs[i - 1].h, i),
            dir.at("city_photo" + std::to_string(i) + ".jpeg"));
    dir.write("d" + std::to_string(i) + ".txt", "");
  }
  const RunResult run =
      dir.run(*driver ? std::map<std::string, std::string>{{"SDL_VIDEODRIVER", driver}}
                      : std::map<std::string, std::string>{});
  ASSERT_EQ(run.status, 0) << run.log;
  for (int i = 1; i <= items; ++i) {
    const Surface poster = loadRgba(dir.at("result" + std::to_string(i) + ".png"));
    ASSERT_TRUE(poster);
    const std::vector<uint8_t> expected = drawnInFull(dir, i, driver);
    ASSERT_EQ(expected.size(), size_t(poster->pitch) * poster->h);
    long differing = 0;
    for (size_t at = 0; at < expected.size(); ++at)
      differing += static_cast<const uint8_t*>(poster->pixels)[at] != expected[at];
    EXPECT_EQ(differing, 0) << kPhotographs[i - 1].w << " x " << kPhotographs[i - 1].h;
  }
}

INSTANTIATE_TEST_SUITE_P(Renderers, DrawnSize, testing::Values("", "dummy"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(*info.param ? info.param : "default");
                         });

}  // namespace
