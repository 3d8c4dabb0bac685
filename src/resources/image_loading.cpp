#include "resources/image_loading.h"

#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"

namespace {

[[noreturn]] void exitWithSdlError(int status) {
  std::fputs(SDL_GetError(), stdout);
  std::exit(status);
}

}  // namespace

SDL_Texture* loadTexture(std::string path) {
  SDL_Surface* surface = IMG_Load(path.c_str());
  if (!surface) exitWithSdlError(kExitUnloadable);
  SDL_Texture* texture =
      SDL_CreateTextureFromSurface(AppState::renderer, surface);
  if (!texture) exitWithSdlError(kExitUnrenderable);
  SDL_FreeSurface(surface);
  return texture;
}
