// Draws the bundled example's background and city photographs: skylines of
// made-up cities at different times of day, so that the example needs no
// third-party images. Run in the example folder; writes bg.png and
// city_photo1.jpeg .. city_photo4.jpeg.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

struct Colour {
  double r, g, b;
};

Colour mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Uint32 pack(const SDL_PixelFormat* f, Colour c) {
  auto clamp = [](double v) { return static_cast<Uint8>(std::clamp(v, 0.0, 255.0)); };
  return SDL_MapRGB(f, clamp(c.r), clamp(c.g), clamp(c.b));
}

void fill(SDL_Surface* s, int x, int y, int w, int h, Colour c) {
  const SDL_Rect r{x, y, w, h};
  SDL_FillRect(s, &r, pack(s->format, c));
}

struct Scene {
  Colour skyTop, skyHorizon, sun, building, window, water;
  double sunX, sunY, litWindows;
};

void drawSkyline(SDL_Surface* s, const Scene& scene, unsigned seed) {
  const int w = s->w;
  const int h = s->h;
  const int horizon = h * 7 / 10;
  for (int y = 0; y < horizon; ++y)
    fill(s, 0, y, w, 1, mix(scene.skyTop, scene.skyHorizon, double(y) / horizon));
  const int sunR = h / 12;
  for (int dy = -sunR; dy <= sunR; ++dy) {
    const int half = int(std::sqrt(double(sunR * sunR - dy * dy)));
    fill(s, int(scene.sunX * w) - half, int(scene.sunY * h) + dy, 2 * half, 1, scene.sun);
  }
  std::mt19937 rng(seed);
  for (int layer = 0; layer < 2; ++layer) {
    const Colour tone = mix(scene.building, scene.skyHorizon, layer ? 0.0 : 0.45);
    for (int x = -20; x < w;) {
      const int bw = w / 30 + int(rng() % (w / 14));
      const int bh = h / 10 + int(rng() % (h * (layer ? 38 : 50) / 100));
      fill(s, x, horizon - bh, bw, bh, tone);
      if (layer == 1) {
        for (int wy = horizon - bh + 12; wy < horizon - 14; wy += 22)
          for (int wx = x + 8; wx < x + bw - 12; wx += 18)
            if (rng() % 100 < scene.litWindows * 100) fill(s, wx, wy, 8, 12, scene.window);
      }
      x += bw + int(rng() % 12);
    }
  }
  for (int y = horizon; y < h; ++y) {
    const double t = double(y - horizon) / (h - horizon);
    fill(s, 0, y, w, 1, mix(scene.water, scene.building, t * 0.6));
    if (y % 6 < 2) {
      const int shimmer = int(rng() % (w / 3));
      fill(s, int(scene.sunX * w) - shimmer / 2, y, shimmer, 1,
           mix(scene.sun, scene.water, 0.5 + t / 2));
    }
  }
}

void drawBackground(SDL_Surface* s) {
  const Colour top{250, 244, 232}, bottom{226, 214, 196}, ink{120, 92, 64};
  for (int y = 0; y < s->h; ++y) fill(s, 0, y, s->w, 1, mix(top, bottom, double(y) / s->h));
  const int border = s->w / 36;
  fill(s, border, border, s->w - 2 * border, 4, ink);
  fill(s, border, s->h - border - 4, s->w - 2 * border, 4, ink);
  fill(s, border, border, 4, s->h - 2 * border, ink);
  fill(s, s->w - border - 4, border, 4, s->h - 2 * border, ink);
}

SDL_Surface* newSurface(int w, int h) {
  return SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
}

}  // namespace

int main(int, char**) {
  const Scene scenes[] = {
      {{40, 90, 170},
       {250, 170, 110},
       {255, 220, 150},
       {40, 36, 52},
       {255, 210, 120},
       {70, 80, 120},
       0.7,
       0.42,
       0.25},
      {{10, 14, 40},
       {60, 50, 110},
       {235, 235, 210},
       {18, 18, 30},
       {255, 230, 140},
       {25, 28, 60},
       0.25,
       0.18,
       0.6},
      {{110, 170, 230},
       {210, 230, 245},
       {255, 250, 220},
       {70, 80, 100},
       {200, 220, 240},
       {90, 130, 170},
       0.5,
       0.15,
       0.1},
      {{90, 40, 100},
       {240, 120, 90},
       {255, 180, 90},
       {35, 25, 45},
       {255, 190, 110},
       {90, 50, 80},
       0.35,
       0.5,
       0.4},
  };
  const int sizes[][2] = {{1600, 1200}, {1200, 1600}, {1400, 1400}, {1800, 1000}};
  SDL_Surface* bg = newSurface(1080, 1920);
  drawBackground(bg);
  int failures = IMG_SavePNG(bg, "bg.png") != 0;
  SDL_FreeSurface(bg);
  for (int i = 0; i < 4; ++i) {
    SDL_Surface* photo = newSurface(sizes[i][0], sizes[i][1]);
    drawSkyline(photo, scenes[i], 17u + i);
    const std::string name = "city_photo" + std::to_string(i + 1) + ".jpeg";
    failures += IMG_SaveJPG(photo, name.c_str(), 85) != 0;
    SDL_FreeSurface(photo);
  }
  if (failures) std::fprintf(stderr, "%s\n", SDL_GetError());
  return failures ? 1 : 0;
}
