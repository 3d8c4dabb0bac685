#include "poster/legibility.h"

#include <cstdint>

#include "poster/fit.h"

int printedLineHeight(int lineHeight, int w, int h) {
  const SDL_Rect fitted = fitIntoBox(w, h, kCaptionBox);
  return static_cast<int>(int64_t{lineHeight} * fitted.h / h);
}
