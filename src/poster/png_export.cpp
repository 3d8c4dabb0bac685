#include "poster/png_export.h"

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "poster/png_file.h"

namespace {

// Every path out of an export releases what it holds in this order; null
// handles are passed over by SDL and free alike.
void release(SDL_Surface* surface, void* pixels, SDL_Texture* target) {
  SDL_FreeSurface(surface);
  std::free(pixels);
  SDL_DestroyTexture(target);
}

}  // namespace

void saveTextureAsPng(SDL_Texture* texture, const char* path) {
  SDL_Renderer* renderer = AppState::renderer;
  int w = 0;
  int h = 0;
  if (SDL_QueryTexture(texture, nullptr, nullptr, &w, &h) != 0) {
    SDL_Log("Failed querying texture: %s\n", SDL_GetError());
    return;
  }
  SDL_Texture* target =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, w, h);
  if (!target) {
    SDL_Log("Failed creating render texture: %s\n", SDL_GetError());
    return;
  }
  if (SDL_SetRenderTarget(renderer, target) != 0) {
    SDL_Log("Failed setting render target: %s\n", SDL_GetError());
    return release(nullptr, nullptr, target);
  }
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  if (SDL_RenderCopy(renderer, texture, nullptr, nullptr) != 0) {
    SDL_Log("Failed copying texture data: %s\n", SDL_GetError());
    return release(nullptr, nullptr, target);
  }
  const int pitch = w * 4;
  void* pixels = std::malloc(static_cast<size_t>(pitch) * h);
  if (!pixels) {
    SDL_Log("Failed allocating memory\n");
    return release(nullptr, nullptr, target);
  }
  if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, pixels, pitch) != 0) {
    SDL_Log("Failed reading pixel data: %s\n", SDL_GetError());
    return release(nullptr, pixels, target);
  }
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, pitch, SDL_PIXELFORMAT_ABGR8888);
  if (!surface) {
    SDL_Log("Failed creating new surface: %s\n", SDL_GetError());
    return release(nullptr, pixels, target);
  }
  std::string error;
  if (!writePngFile(surface, path, error)) {
    SDL_Log("Failed saving image: %s\n", error.c_str());
    return release(surface, pixels, target);
  }
  SDL_Log("Saved texture as PNG to \"%s\"\n", path);
  release(surface, pixels, target);
}
