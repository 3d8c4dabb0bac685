// The floor of a run: the work no poster generator of this design can skip.
// Decodes the run's inputs with IMG_Load and encodes the given posters'
// pixels again with IMG_SavePNG, timing only those calls, and prints
//   decode=S encode=S floor=S
// Usage: floor WORKLOAD_DIR POSTER.png...
#include <SDL.h>
#include <SDL_image.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point begin) {
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dir = argv[1];
  const int posters = argc - 2;
  std::vector<std::string> inputs = {dir + "/bg.png"};
  for (int i = 1; i <= posters; ++i)
    inputs.push_back(dir + "/city_photo" + std::to_string(i) + ".jpeg");
  double decode = 0;
  for (const auto& input : inputs) {
    const auto begin = Clock::now();
    SDL_Surface* s = IMG_Load(input.c_str());
    decode += since(begin);
    if (!s) return 1;
    SDL_FreeSurface(s);
  }
  // The same content as the posters, in the surface layout the export uses.
  double encode = 0;
  for (int i = 0; i < posters; ++i) {
    SDL_Surface* loaded = IMG_Load(argv[2 + i]);
    if (!loaded) return 1;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ABGR8888, 0);
    SDL_FreeSurface(loaded);
    const std::string out = dir + "/floor" + std::to_string(i + 1) + ".png";
    const auto begin = Clock::now();
    const int failed = IMG_SavePNG(rgba, out.c_str());
    encode += since(begin);
    SDL_FreeSurface(rgba);
    if (failed) return 1;
  }
  std::printf("decode=%.4f encode=%.4f floor=%.4f\n", decode, encode, decode + encode);
  return 0;
}
