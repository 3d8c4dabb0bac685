#include "poster/compose.h"

#include <SDL_ttf.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "app/warning_log.h"
#include "captions/caption_script.h"
#include "contract/run_contract.h"
#include "poster/export_queue.h"
#include "poster/fit.h"
#include "poster/legibility.h"
#include "poster/png_export.h"
#include "resources/texture_limit.h"
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

// Tells the shaper the caption's direction and script, which it does not
// find out itself: right-to-left and complex scripts would otherwise be set
// letter by letter, left to right. Other captions keep the defaults, which
// are restored after each caption. (Right-to-left lines stay aligned left:
// SDL_ttf aligns them right only within the whole wrap width, which would
// shrink a short caption on the poster.)
void setCaptionLayout(const CaptionScript& layout) {
  if (layout.rightToLeft) TTF_SetFontDirection(AppState::font, TTF_DIRECTION_RTL);
  if (*layout.script) TTF_SetFontScriptName(AppState::font, layout.script);
}

void restoreDefaultLayout() {
  TTF_SetFontDirection(AppState::font, TTF_DIRECTION_LTR);
  TTF_SetFontScriptName(AppState::font, "Zzzz");  // unknown: the default
}

// Renders the caption into a new surface; null when there is nothing to
// render. SDL_ttf refuses text of zero width, and an empty caption must not
// end the run, so such a caption is simply left out of its poster.
SDL_Surface* renderCaption(const std::string& caption) {
  if (caption.empty() || caption.front() == '\0') return nullptr;
  const CaptionScript layout = captionScript(caption);
  setCaptionLayout(layout);
  SDL_Surface* surface = TTF_RenderUTF8_Solid_Wrapped(AppState::font, caption.c_str(),
                                                      kCaptionColour, kCaptionWrapLength);
  if (layout.rightToLeft || *layout.script) restoreDefaultLayout();
  if (!surface) {
    finishPosterWrites();  // the posters before this one are kept, and logged first
    SDL_Log(
        "Error:Couldn't load the words' texture with SDL_ttf, "
        "information:%s",
        SDL_GetError());
    std::exit(kExitUnrenderable);
  }
  return surface;
}

void warnIfIllegible(const SDL_Surface* raster, int item) {
  if (!raster) return;
  const int height = printedLineHeight(TTF_FontHeight(AppState::font), raster->w, raster->h);
  if (height >= kMinLegibleLineHeight) return;
  logWarning(
      "%s prints its lines %d px high on the poster, too small to read (under %d px); shorten it "
      "or raise the font size\n",
      itemFileName(kCaptionFile, item).c_str(), height, kMinLegibleLineHeight);
}

// The previous caption texture is destroyed only once the new raster
// exists, then "text" holds the new texture or null. A caption too large
// for the renderer's textures is scaled down to fit; one whose texture
// still cannot be made is left out, but not silently.
void replaceCaptionTexture(SDL_Surface* raster, int item) {
  SDL_Texture*& text = textureSlot("text");
  SDL_DestroyTexture(text);
  text = nullptr;
  if (!raster) return;
  raster = shrinkToFit(raster, largestTexture(AppState::renderer));
  if (raster) text = SDL_CreateTextureFromSurface(AppState::renderer, raster);
  if (!text) SDL_Log("Failed creating the caption texture of item %d: %s\n", item, SDL_GetError());
  SDL_FreeSurface(raster);
}

}  // namespace

void composePoster(int item) {
  // The caption is rendered first, so that a warning about it comes before
  // the poster is drawn.
  SDL_Surface* raster = renderCaption(AppState::captions.at(item));
  warnIfIllegible(raster, item);
  SDL_Renderer* renderer = AppState::renderer;
  SDL_Texture* canvas = textureSlot("result");
  SDL_SetRenderTarget(renderer, canvas);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, textureSlot("bg"), nullptr, nullptr);

  const std::string number = std::to_string(item);
  copyFitted(textureSlot("city_photo" + number), kPhotographBox);

  replaceCaptionTexture(raster, item);
  if (SDL_Texture* text = textureSlot("text")) copyFitted(text, kCaptionBox);

  SDL_RenderPresent(renderer);
  saveTextureAsPng(canvas, itemFileName(kPosterFile, item).c_str());
}
