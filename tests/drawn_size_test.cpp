// Textures reduced to the size they are drawn at make the very posters
// full-size textures make: postergen's posters against posters drawn here
// from full-size textures, pixel for pixel, on both renderers, for
// pictures larger and smaller than their place, of many shapes, lossless
// and JPEG, stored turned. A JPEG decoded with picks keeps exactly the
// pixels picked from the whole picture turned upright, whatever its
// orientation and kind.
#include <SDL_image.h>
#include <gtest/gtest.h>
#ifdef POSTERGEN_SANITIZED
#include <sanitizer/lsan_interface.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "poster/fit.h"
#include "resources/drawn_size.h"
#include "resources/jpeg_surface.h"
#include "resources/orientation.h"
#include "support/scratch_run.h"

namespace {

struct Size {
  int w, h;
  int jpegOrientation = 0;  // 0: lossless; otherwise a JPEG with this EXIF tag
};

// Photographs of many shapes, most drawn smaller than they are, one larger,
// one a long strip, three JPEGs (stored sizes; two turned by their tag);
// and a background larger than the poster.
const Size kPhotographs[] = {{2600, 1950},    {1950, 2600},    {1234, 987},
                             {5000, 100},     {333, 2000},     {1400, 1401},
                             {2600, 1950, 1}, {1950, 2600, 6}, {3000, 1700, 3}};
const Size kBackground{2400, 4000};

bool sameBytes(const SDL_Surface* a, const SDL_Surface* b) {
  if (!a || !b || a->w != b->w || a->h != b->h || a->format->format != b->format->format)
    return false;
  const size_t row = static_cast<size_t>(a->w) * a->format->BytesPerPixel;
  for (int y = 0; y < a->h; ++y)
    if (std::memcmp(static_cast<const uint8_t*>(a->pixels) + y * a->pitch,
                    static_cast<const uint8_t*>(b->pixels) + y * b->pitch, row) != 0)
      return false;
  return true;
}

// Picks as nearest scaling makes them: of n lines drawn into d, the line
// under each drawn line's centre.
std::vector<int> nearest(int n, int d) {
  std::vector<int> picks(d);
  for (int i = 0; i < d; ++i) picks[i] = static_cast<int>((2 * int64_t{i} + 1) * n / (2 * d));
  return picks;
}

TEST(DrawnSize, JpegsDecodedWithPicksHoldThePickedPixelsOfTheUprightPicture) {
  ScratchDir dir;
  const std::string path = dir.at("photo.jpeg");
  for (const JpegKind kind : {JpegKind::kBaseline, JpegKind::kGrayscale, JpegKind::kCmyk})
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const int w = 97;
      const int h = 61;
      saveJpegAs(noisySurface(w, h, orientation), path, kind, exifWithOrientation(orientation));
      const bool swaps = orientation >= 5;
      const PixelPicks upright{nearest(swaps ? h : w, 40), nearest(swaps ? w : h, 23)};
      std::FILE* file = std::fopen(path.c_str(), "rb");
      ASSERT_TRUE(file);
      SDL_Surface* whole = turnUpright(decodeJpegSurface(file, path), orientation);
      const PixelPicks stored = storedPicks(upright, orientation, w, h);
      bool reduced = false;
      SDL_Surface* picked =
          turnUpright(decodeJpegSurface(file, path, &stored, &reduced), orientation);
      std::fclose(file);
      SDL_Surface* expected = pickPixels(whole, upright);
      EXPECT_TRUE(reduced);
      EXPECT_TRUE(sameBytes(picked, expected))
          << "kind " << static_cast<int>(kind) << ", orientation " << orientation;
      SDL_FreeSurface(whole);
      SDL_FreeSurface(picked);
      SDL_FreeSurface(expected);
    }
}

TEST(DrawnSize, JpegsDecodeWholeWhenThePicksDoNotFit) {
  ScratchDir dir;
  const std::string path = dir.at("photo.jpeg");
  saveJpegAs(noisySurface(50, 40, 1), path, JpegKind::kBaseline);
  const PixelPicks kUnfit[] = {{{0, 1}, {3, 2}}, {{0, 50}, {1, 2}}, {{0, 1}, {}}};
  for (const PixelPicks& picks : kUnfit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(file);
    bool reduced = true;
    SDL_Surface* surface = decodeJpegSurface(file, path, &picks, &reduced);
    std::fclose(file);
    ASSERT_TRUE(surface);
    EXPECT_FALSE(reduced);
    EXPECT_EQ(surface->w * 1000 + surface->h, 50040);
    SDL_FreeSurface(surface);
  }
}

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
std::vector<uint8_t> drawnInFull(const ScratchDir& dir, int item, int orientation,
                                 const char* driver) {
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
  SDL_Surface* photo = turnUpright(
      IMG_Load(dir.at("city_photo" + std::to_string(item) + ".jpeg").c_str()), orientation);
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
    // Lossless, or JPEG, which SDL_image decodes to the same samples, so
    // that the reference decodes the pixels postergen does; no caption, so
    // that only the pictures are drawn.
    const Size& size = kPhotographs[i - 1];
    const std::string path = dir.at("city_photo" + std::to_string(i) + ".jpeg");
    if (size.jpegOrientation)
      saveJpegAs(noisySurface(size.w, size.h, i), path, JpegKind::kBaseline,
                 exifWithOrientation(size.jpegOrientation));
    else
      savePng(noisySurface(size.w, size.h, i), path);
    dir.write("d" + std::to_string(i) + ".txt", "");
  }
  const RunResult run =
      dir.run(*driver ? std::map<std::string, std::string>{{"SDL_VIDEODRIVER", driver}}
                      : std::map<std::string, std::string>{});
  ASSERT_EQ(run.status, 0) << run.log;
  for (int i = 1; i <= items; ++i) {
    const Surface poster = loadRgba(dir.at("result" + std::to_string(i) + ".png"));
    ASSERT_TRUE(poster);
    const std::vector<uint8_t> expected =
        drawnInFull(dir, i, SDL_max(1, kPhotographs[i - 1].jpegOrientation), driver);
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
