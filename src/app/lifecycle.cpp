#include "app/lifecycle.h"

#include <SDL_image.h>
#include <SDL_ttf.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/run_configuration.h"
#include "app/stop_signals.h"
#include "captions/caption_step.h"
#include "contract/run_contract.h"
#include "poster/fit.h"
#include "resources/decode_ahead.h"
#include "resources/drawn_size.h"
#include "resources/image_loading.h"
#include "resources/texture_registry.h"

namespace {

void refuseTooManyItems() {
  if (AppState::itemCount <= kMaxItemCount) return;
  SDL_Log("Error:size.txt asks for %d items, but one run holds at most %d\n", AppState::itemCount,
          kMaxItemCount);
  std::exit(kExitTooManyItems);
}

// SDL_ttf hands the size to FreeType unchecked. Sizes below 1, and sizes
// whose 26.6 fixed-point value overflows, open "successfully" and then set
// every glyph as a black block; FreeType refuses the sizes in between that
// exceed its 16-bit pixel sizes. Everything outside 1..65535 is refused
// here, with one clear message.
constexpr int kMaxFontSize = 65535;

void openFont() {
  const int size = AppState::fontSize;
  if (size < 1 || size > kMaxFontSize) {
    SDL_SetError("the point size must lie between 1 and %d", kMaxFontSize);
  } else {
    AppState::font = TTF_OpenFont(kFontName, size);
  }
  if (AppState::font) return;
  SDL_Log("Error:SDL_ttf Couldn't load font.ttf with size:%d, information:%s", AppState::fontSize,
          SDL_GetError());
  std::exit(kExitUnloadable);
}

// Machines without a GPU or OpenGL have no accelerated renderer; SDL's
// software renderer draws the same posters there.
SDL_Renderer* createRenderer(SDL_Window* window) {
  SDL_Renderer* renderer =
      SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
  if (renderer) return renderer;
  return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
}

void createCanvas() {
  SDL_DisplayMode mode{};  // a failed query leaves SDL_PIXELFORMAT_UNKNOWN
  SDL_GetWindowDisplayMode(AppState::window, &mode);
  textureSlot("result") = SDL_CreateTexture(AppState::renderer, mode.format,
                                            SDL_TEXTUREACCESS_TARGET, kPosterWidth, kPosterHeight);
}

// The renderer's picks are read on the canvas once it exists (it is
// cleared for each poster), on a target of their own before.
bool picksOnCanvas(int w, int h, SDL_Rect destination, PixelPicks& picks) {
  return knownPixelPicks(AppState::renderer, textureSlot("result"), w, h, destination, picks);
}

// The background, then every item's photograph, in the order they are
// loaded.
void decodeImagesAhead() {
  std::vector<ImageToDecode> images{{kBackgroundName, false, backgroundPlace}};
  for (int item = 1; item <= AppState::itemCount; ++item)
    images.push_back({itemFileName(kPhotographFile, item), true, photographPlace});
  startDecodingAhead(std::move(images), textureTargetOf(AppState::renderer), picksOnCanvas);
}

void loadItem(int item) {
  loadCaption(item);
  const std::string name = "city_photo" + std::to_string(item);
  textureSlot(name) = loadPhotographTexture(itemFileName(kPhotographFile, item), photographPlace);
}

}  // namespace

void readRunConfiguration() {
  std::ifstream file(kRunConfigurationName);
  readRunConfigurationFrom(file, AppState::itemCount, AppState::fontSize);
}

void initialize() {
  stopOnSignals();
  SDL_Init(SDL_INIT_EVERYTHING);
  TTF_Init();
  IMG_Init(IMG_INIT_JPG | IMG_INIT_PNG | IMG_INIT_TIF | IMG_INIT_WEBP);
  readRunConfiguration();
  refuseTooManyItems();
  openFont();
  AppState::window = SDL_CreateWindow("Made by Varrowick(Pell)", 0, 0, 0, 0, SDL_WINDOW_BORDERLESS);
  AppState::renderer = createRenderer(AppState::window);
  decodeImagesAhead();
  textureSlot("bg") = loadTexture(kBackgroundName, backgroundPlace);
  createCanvas();
  for (int item = 1; item <= AppState::itemCount; ++item) loadItem(item);
  finishReducing();
}

void shutDown() {
  destroyRegisteredTextures();
  TTF_CloseFont(AppState::font);
  SDL_DestroyRenderer(AppState::renderer);
  SDL_DestroyWindow(AppState::window);
  TTF_Quit();
  IMG_Quit();
  SDL_Quit();
}
