#include "resources/image_loading.h"

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "resources/decode_ahead.h"

namespace {

[[noreturn]] void exitWith(const std::string& reason, int status) {
  std::fputs(reason.c_str(), stdout);
  std::exit(status);
}

// Frees the surface once the texture exists.
SDL_Texture* makeTexture(const DecodedImage& image) {
  if (!image.surface) exitWith(image.failure, image.status);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(AppState::renderer, image.surface);
  if (!texture) exitWith(SDL_GetError(), kExitUnrenderable);
  SDL_FreeSurface(image.surface);
  return texture;
}

}  // namespace

SDL_Texture* loadTexture(std::string path, Placement placement) {
  return makeTexture(takeDecodedImage(path, false, placement));
}

SDL_Texture* loadPhotographTexture(std::string path, Placement placement) {
  return makeTexture(takeDecodedImage(path, true, placement));
}
