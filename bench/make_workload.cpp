// Makes a realistic benchmark workload in the current folder: a 2160 x 3840
// photographic background, N photographs alternating 4000 x 3000 and
// 3000 x 4000 as JPEG, Chinese captions with full-width punctuation, and
// size.txt. Photographic means smooth light with fine noise and edges: PNG
// encoding cost depends on content, so flat colours would flatter the run.
// Usage: make_workload N
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

SDL_Surface* photographic(int w, int h, unsigned seed) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
  std::mt19937 rng(seed);
  std::normal_distribution<double> grain(0.0, 9.0);
  const double cx = w * (0.3 + 0.4 * (seed % 5) / 4.0);
  const double cy = h * 0.35;
  // Blocks of "buildings" give hard edges; light falls off from a sun.
  std::uniform_int_distribution<int> blockWidth(w / 40, w / 12);
  std::vector<int> skyline(w);
  for (int x = 0; x < w;) {
    const int bw = blockWidth(rng);
    const int top = h / 3 + static_cast<int>(rng() % (h / 3));
    for (int i = x; i < std::min(w, x + bw); ++i) skyline[i] = top;
    x += bw;
  }
  for (int y = 0; y < h; ++y) {
    Uint8* row = static_cast<Uint8*>(s->pixels) + y * s->pitch;
    for (int x = 0; x < w; ++x) {
      const double d = std::hypot(x - cx, y - cy) / std::hypot(w, h);
      double r = 250 - 300 * d, g = 190 - 220 * d + 40.0 * y / h, b = 120 + 100.0 * y / h;
      if (y > skyline[x]) {
        const bool window = ((x / 9) % 3 == 0) && ((y / 13) % 2 == 0);
        r = window ? 235 : 40 + 20 * d;
        g = window ? 205 : 38 + 10 * d;
        b = window ? 130 : 55 + 30 * d;
      }
      row[3 * x + 0] = static_cast<Uint8>(std::clamp(r + grain(rng), 0.0, 255.0));
      row[3 * x + 1] = static_cast<Uint8>(std::clamp(g + grain(rng), 0.0, 255.0));
      row[3 * x + 2] = static_cast<Uint8>(std::clamp(b + grain(rng), 0.0, 255.0));
    }
  }
  return s;
}

const char* kCaptions[] = {
    "黄昏时分的港湾，灯火一盏盏亮起。海风吹过码头，城市慢慢安静下来。",
    "清晨的老街，早点铺冒着热气。行人匆匆，自行车铃声此起彼伏。",
    "雨后的天际线，高楼倒映在积水里。云层散开，阳光洒满广场。",
    "夜幕下的大桥，车流像一条发光的河。远处的钟楼敲响了十点。",
    "春天的公园，樱花落在长椅上。孩子们追逐着风筝，笑声不断。",
    "冬日的市场，摊位上堆满了红灯笼。人们挑选年货，准备迎接新年。",
};

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 6;
  int failures = 0;
  SDL_Surface* bg = photographic(2160, 3840, 1);
  failures += IMG_SavePNG(bg, "bg.png") != 0;
  SDL_FreeSurface(bg);
  for (int i = 1; i <= n; ++i) {
    const bool landscape = i % 2 == 1;
    SDL_Surface* photo = photographic(landscape ? 4000 : 3000, landscape ? 3000 : 4000, 10 + i);
    failures += IMG_SaveJPG(photo, ("city_photo" + std::to_string(i) + ".jpeg").c_str(), 90) != 0;
    SDL_FreeSurface(photo);
    std::ofstream("d" + std::to_string(i) + ".txt") << kCaptions[(i - 1) % 6];
  }
  std::ofstream("size.txt") << n << " 64\n";
  if (failures) std::fprintf(stderr, "%s\n", SDL_GetError());
  return failures ? 1 : 0;
}
