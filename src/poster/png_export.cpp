#include "poster/png_export.h"

#include <SDL_image.h>

#include <cstdlib>

#include "app/app_state.h"

namespace {

// Everything one export holds, released in the order surface, buffer,
// temporary texture on every path.
struct ExportResources {
  SDL_Texture* target = nullptr;
  void* pixels = nullptr;
  SDL_Surface* surface = nullptr;
};

void release(const ExportResources& held) {
  SDL_FreeSurface(held.surface);
  std::free(held.pixels);
  SDL_DestroyTexture(held.target);
}

void exportTexture(SDL_Texture* texture, const char* path, ExportResources& held) {
  SDL_Renderer* renderer = AppState::renderer;
  int w = 0;
  int h = 0;
  if (SDL_QueryTexture(texture, nullptr, nullptr, &w, &h) != 0) {
    SDL_Log("Failed querying texture: %s\n", SDL_GetError());
    return;
  }
  held.target =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, w, h);
  if (!held.target) {
    SDL_Log("Failed creating render texture: %s\n", SDL_GetError());
    return;
  }
  if (SDL_SetRenderTarget(renderer, held.target) != 0) {
    SDL_Log("Failed setting render target: %s\n", SDL_GetError());
    return;
  }
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  if (SDL_RenderCopy(renderer, texture, nullptr, nullptr) != 0) {
    SDL_Log("Failed copying texture data: %s\n", SDL_GetError());
    return;
  }
  const int pitch = w * 4;
  held.pixels = std::malloc(static_cast<size_t>(pitch) * h);
  if (!held.pixels) {
    SDL_Log("Failed allocating memory\n");
    return;
  }
  if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, held.pixels, pitch) != 0) {
    SDL_Log("Failed reading pixel data: %s\n", SDL_GetError());
    return;
  }
  held.surface =
      SDL_CreateRGBSurfaceWithFormatFrom(held.pixels, w, h, 32, pitch, SDL_PIXELFORMAT_ABGR8888);
  if (!held.surface) {
    SDL_Log("Failed creating new surface: %s\n", SDL_GetError());
    return;
  }
  if (IMG_SavePNG(held.surface, path) != 0) {
    SDL_Log("Failed saving image: %s\n", SDL_GetError());
    return;
  }
  SDL_Log("Saved texture as PNG to \"%s\"\n", path);
}

}  // namespace

void saveTextureAsPng(SDL_Texture* texture, const char* path) {
  ExportResources held;
  exportTexture(texture, path, held);
  release(held);
}
