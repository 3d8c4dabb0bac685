#include "poster/png_export.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "app/app_state.h"
#include "poster/export_queue.h"

namespace {

// A failure's message is logged in its export's turn, with SDL's error
// text as it is now.
void fail(long ticket, const char* format) {
  settleExport(ticket,
               [format, error = std::string(SDL_GetError())] { SDL_Log(format, error.c_str()); });
}

}  // namespace

void saveTextureAsPng(SDL_Texture* texture, const char* path) {
  const long ticket = beginExport();
  SDL_Renderer* renderer = AppState::renderer;
  int w = 0;
  int h = 0;
  if (SDL_QueryTexture(texture, nullptr, nullptr, &w, &h) != 0)
    return fail(ticket, "Failed querying texture: %s\n");
  SDL_Texture* target =
      SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_TARGET, w, h);
  if (!target) return fail(ticket, "Failed creating render texture: %s\n");
  if (SDL_SetRenderTarget(renderer, target) != 0) {
    fail(ticket, "Failed setting render target: %s\n");
    return SDL_DestroyTexture(target);
  }
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 0);
  SDL_RenderClear(renderer);
  if (SDL_RenderCopy(renderer, texture, nullptr, nullptr) != 0) {
    fail(ticket, "Failed copying texture data: %s\n");
    return SDL_DestroyTexture(target);
  }
  const int pitch = w * 4;
  ByteBuffer pixels(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(pitch) * h)));
  if (!pixels) {
    settleExport(ticket, [] { SDL_Log("Failed allocating memory\n"); });
    return SDL_DestroyTexture(target);
  }
  // SDL_PIXELFORMAT_RGBA32 is the target's SDL_PIXELFORMAT_ABGR8888 on
  // little-endian machines, and lies in memory as PNG's R, G, B, A on all.
  if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGBA32, pixels.get(), pitch) != 0) {
    fail(ticket, "Failed reading pixel data: %s\n");
    pixels.reset();
    return SDL_DestroyTexture(target);
  }
  SDL_DestroyTexture(target);
  writePosterAsync(ticket, std::move(pixels), w, h, path);
}
