#include "resources/image_loading.h"

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "resources/decode_ahead.h"
#include "resources/texture_limit.h"

namespace {

[[noreturn]] void exitWith(const std::string& reason, int status) {
  std::fputs(reason.c_str(), stdout);
  std::exit(status);
}

// Frees the surface once the texture exists. A picture larger than the
// renderer's textures is scaled down to fit first.
SDL_Texture* makeTexture(const DecodedImage& image) {
  if (!image.surface) exitWith(image.failure, image.status);
  SDL_Surface* surface = shrinkToFit(image.surface, largestTexture(AppState::renderer));
  if (!surface) exitWith(SDL_GetError(), kExitUnrenderable);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(AppState::renderer, surface);
  if (!texture) exitWith(SDL_GetError(), kExitUnrenderable);
  SDL_FreeSurface(surface);
  return texture;
}

}  // namespace

SDL_Texture* loadTexture(std::string path) { return makeTexture(takeDecodedImage(path, false)); }

SDL_Texture* loadPhotographTexture(std::string path) {
  return makeTexture(takeDecodedImage(path, true));
}
