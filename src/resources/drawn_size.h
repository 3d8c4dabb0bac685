// Textures no larger than they are drawn. A 12-megapixel photograph is
// drawn into at most 1292 x 1292 pixels: its texture at full size costs
// the main thread an upload and the run memory for pixels the poster never
// shows. With nearest-pixel scaling every poster pixel shows one pixel of
// the picture, the same column for a whole column of the poster and the
// same row for a whole row, so the picture can be reduced beforehand to
// exactly the columns and rows the renderer would show, and drawn 1:1 to
// the same poster, pixel for pixel. Which ones the renderer takes is read
// from the renderer itself, once per picture size and place: its
// arithmetic differs between OpenGL and the software renderer, and float
// rounding moves a few of them by one from any formula.
#ifndef POSTERGEN_RESOURCES_DRAWN_SIZE_H_
#define POSTERGEN_RESOURCES_DRAWN_SIZE_H_

#include <SDL.h>

#include <vector>

// For each column of the destination, the picture's column it shows; for
// each row, the picture's row.
struct PixelPicks {
  std::vector<int> columns;
  std::vector<int> rows;
};

// The picks of the renderer drawing a w x h texture into destination on a
// poster-sized target, read by drawing a probe texture of that size there
// whose rows and columns name themselves. False when the renderer would
// filter rather than pick (a scale-quality hint asks for it) or the probe
// cannot be made or read.
bool readPixelPicks(SDL_Renderer* renderer, int w, int h, SDL_Rect destination, PixelPicks& picks);

// A new surface of the picks' size holding the picked pixels, in the
// surface's own pixel format, with its palette, colour key and blend mode.
// Null, with SDL's error set, when it cannot be made.
SDL_Surface* pickPixels(const SDL_Surface* surface, const PixelPicks& picks);

// The surface reduced to its size at destination when it is drawn smaller
// than it is and the renderer picks pixels (the given surface is then
// freed); otherwise the surface itself. Picks are read once for each size
// and destination. Main thread only.
SDL_Surface* reduceToDrawnSize(SDL_Renderer* renderer, SDL_Surface* surface, SDL_Rect destination);

// Releases the probe's target once every picture is loaded.
void finishReducing();

#endif  // POSTERGEN_RESOURCES_DRAWN_SIZE_H_
