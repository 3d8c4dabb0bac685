#include "resources/image_loading.h"

#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "resources/orientation.h"

namespace {

[[noreturn]] void exitWithSdlError(int status) {
  std::fputs(SDL_GetError(), stdout);
  std::exit(status);
}

SDL_Surface* decode(const std::string& path) {
  SDL_Surface* surface = IMG_Load(path.c_str());
  if (!surface) exitWithSdlError(kExitUnloadable);
  return surface;
}

// Frees the surface once the texture exists.
SDL_Texture* makeTexture(SDL_Surface* surface) {
  SDL_Texture* texture = SDL_CreateTextureFromSurface(AppState::renderer, surface);
  if (!texture) exitWithSdlError(kExitUnrenderable);
  SDL_FreeSurface(surface);
  return texture;
}

}  // namespace

SDL_Texture* loadTexture(std::string path) { return makeTexture(decode(path)); }

SDL_Texture* loadPhotographTexture(std::string path) {
  SDL_Surface* decoded = decode(path);
  SDL_Surface* surface = turnUpright(decoded, exifOrientation(path));
  if (!surface) exitWithSdlError(kExitUnrenderable);
  return makeTexture(surface);
}
