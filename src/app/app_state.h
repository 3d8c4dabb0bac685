// The process-wide state of a run: the SDL handles, the run configuration,
// the caption table and the texture registry.
#ifndef POSTERGEN_APP_APP_STATE_H_
#define POSTERGEN_APP_APP_STATE_H_

#include <SDL.h>
#include <SDL_ttf.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>

// Item numbers run from 1; slot 0 of the caption table is never used.
constexpr int kMaxItemCount = 1004;

struct AppState {
  static SDL_Renderer* renderer;
  static SDL_Window* window;
  static TTF_Font* font;
  static int32_t itemCount;
  static int32_t fontSize;
  static std::array<std::string, kMaxItemCount + 1> captions;
  // Keys order byte-wise, so "city_photo10" sorts before "city_photo2".
  static std::map<std::string, SDL_Texture*> textures;
};

#endif  // POSTERGEN_APP_APP_STATE_H_
