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

// Reads the target's pixels into the writer's layout, each row after the
// place of its filter type byte. A band of rows at a time, because SDL
// reads a whole read into a buffer of its own first: so that buffer is a
// band, not a second poster.
constexpr int kReadBackRows = 64;

bool readBack(SDL_Renderer* renderer, int w, int h, uint8_t* rows) {
  const size_t pitch = filteredPngPitch(w);
  for (int y = 0; y < h; y += kReadBackRows) {
    const SDL_Rect band{0, y, w, SDL_min(kReadBackRows, h - y)};
    // SDL_PIXELFORMAT_RGBA32 is the target's SDL_PIXELFORMAT_ABGR8888 on
    // little-endian machines, and lies in memory as PNG's R, G, B, A on all.
    if (SDL_RenderReadPixels(renderer, &band, SDL_PIXELFORMAT_RGBA32, rows + y * pitch + 1,
                             static_cast<int>(pitch)) != 0)
      return false;
  }
  return true;
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
  ByteBuffer rows = takePosterBuffer(w, h);
  if (!rows) {
    settleExport(ticket, [] { SDL_Log("Failed allocating memory\n"); });
    return SDL_DestroyTexture(target);
  }
  if (!readBack(renderer, w, h, rows.get())) {
    fail(ticket, "Failed reading pixel data: %s\n");
    givePosterBufferBack(std::move(rows), w, h);
    return SDL_DestroyTexture(target);
  }
  SDL_DestroyTexture(target);
  writePosterAsync(ticket, std::move(rows), w, h, path);
}
