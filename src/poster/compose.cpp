#include "poster/compose.h"

#include <SDL_ttf.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "poster/fit.h"
#include "poster/png_export.h"
#include "resources/image_loading.h"
#include "resources/texture_registry.h"

namespace {

constexpr SDL_Color kCaptionColour{0, 0, 0, 255};
constexpr Uint32 kCaptionWrapLength = 2000;

void copyFitted(SDL_Texture* texture, SDL_Rect box) {
  int w = 0;
  int h = 0;
  if (SDL_QueryTexture(texture, nullptr, nullptr, &w, &h) != 0) return;
  const SDL_Rect destination = fitIntoBox(w, h, box);
  SDL_RenderCopy(AppState::renderer, texture, nullptr, &destination);
}

// Renders the caption into a new surface; null when there is nothing to
// render. SDL_ttf refuses text of zero width, and an empty caption must not
// end the run, so such a caption is simply left out of its poster.
SDL_Surface* renderCaption(const std::string& caption) {
  if (caption.empty() || caption.front() == '\0') return nullptr;
  SDL_Surface* surface = TTF_RenderUTF8_Solid_Wrapped(AppState::font, caption.c_str(),
                                                      kCaptionColour, kCaptionWrapLength);
  if (!surface) {
    SDL_Log(
        "Error:Couldn't load the words' texture with SDL_ttf, "
        "information:%s",
        SDL_GetError());
    std::exit(kExitUnrenderable);
  }
  return surface;
}

// The previous caption texture is destroyed only once the new raster
// exists, then "text" holds the new texture or null. A caption too large
// for the renderer's textures is left out, but not silently.
void replaceCaptionTexture(SDL_Surface* raster, int item) {
  SDL_Texture*& text = textureSlot("text");
  SDL_DestroyTexture(text);
  text = nullptr;
  if (!raster) return;
  text = SDL_CreateTextureFromSurface(AppState::renderer, raster);
  if (!text) SDL_Log("Failed creating the caption texture of item %d: %s\n", item, SDL_GetError());
  SDL_FreeSurface(raster);
}

}  // namespace

void composePoster(int item) {
  SDL_Renderer* renderer = AppState::renderer;
  SDL_Texture* canvas = textureSlot("result");
  SDL_SetRenderTarget(renderer, canvas);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, textureSlot("bg"), nullptr, nullptr);

  const std::string number = std::to_string(item);
  copyFitted(textureSlot("city_photo" + number), kPhotographBox);

  replaceCaptionTexture(renderCaption(AppState::captions.at(item)), item);
  if (SDL_Texture* text = textureSlot("text")) copyFitted(text, kCaptionBox);

  SDL_RenderPresent(renderer);
  saveTextureAsPng(canvas, ("result" + number + ".png").c_str());
}
