#include "resources/image_loading.h"

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "resources/decode_ahead.h"
#include "resources/drawn_size.h"

namespace {

[[noreturn]] void exitWith(const std::string& reason, int status) {
  std::fputs(reason.c_str(), stdout);
  std::exit(status);
}

// Frees the surface once the texture exists.
SDL_Texture* makeTexture(const DecodedImage& image, Placement placement) {
  if (!image.surface) exitWith(image.failure, image.status);
  SDL_Surface* surface = reduceToDrawnSize(AppState::renderer, image.surface,
                                           placement(image.surface->w, image.surface->h));
  SDL_Texture* texture = SDL_CreateTextureFromSurface(AppState::renderer, surface);
  if (!texture) exitWith(SDL_GetError(), kExitUnrenderable);
  SDL_FreeSurface(surface);
  return texture;
}

}  // namespace

SDL_Texture* loadTexture(std::string path, Placement placement) {
  return makeTexture(takeDecodedImage(path, false), placement);
}

SDL_Texture* loadPhotographTexture(std::string path, Placement placement) {
  return makeTexture(takeDecodedImage(path, true), placement);
}
