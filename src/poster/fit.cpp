#include "poster/fit.h"

#include "contract/run_contract.h"

SDL_Rect fitIntoBox(int w, int h, SDL_Rect box) {
  const double sourceRatio = static_cast<double>(w) / h;
  const double boxRatio = static_cast<double>(box.w) / box.h;
  int fittedW = box.w;
  int fittedH = box.h;
  if (sourceRatio > boxRatio) {
    fittedH = static_cast<int>(static_cast<double>(h) * box.w / w);
  } else if (sourceRatio < boxRatio) {
    fittedW = static_cast<int>(static_cast<double>(w) * box.h / h);
  }
  return SDL_Rect{box.x + (box.w - fittedW) / 2, box.y + (box.h - fittedH) / 2, fittedW, fittedH};
}

SDL_Rect backgroundPlace(int, int) { return SDL_Rect{0, 0, kPosterWidth, kPosterHeight}; }

SDL_Rect photographPlace(int w, int h) { return fitIntoBox(w, h, kPhotographBox); }
