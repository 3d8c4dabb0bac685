// The layout rule that places a photograph or a caption in its box.
#ifndef POSTERGEN_POSTER_FIT_H_
#define POSTERGEN_POSTER_FIT_H_

#include <SDL.h>

#include "contract/run_contract.h"

constexpr SDL_Rect kPhotographBox{443, 711, 1292, 1292};
constexpr SDL_Rect kCaptionBox{275, 2450, 1625, 980};
static_assert(static_cast<long long>(kPhotographBox.w) * kPhotographBox.h == kPhotographDrawnPixels,
              "the batch counts a photograph at its box's size");

// Scales a w x h source (each at least 1) to fill the box in one dimension,
// keeping its aspect ratio, and centres it in the other. Smaller sources are
// enlarged, larger ones reduced.
SDL_Rect fitIntoBox(int w, int h, SDL_Rect box);

// Where a w x h background and photograph are drawn: the background over
// the whole poster, the photograph fitted into its box.
SDL_Rect backgroundPlace(int w, int h);
SDL_Rect photographPlace(int w, int h);

#endif  // POSTERGEN_POSTER_FIT_H_
