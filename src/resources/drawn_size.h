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

#include <functional>
#include <vector>

// Where a picture of w x h pixels is drawn on the poster.
using Placement = SDL_Rect (*)(int w, int h);

// For each column of the destination, the picture's column it shows; for
// each row, the picture's row.
struct PixelPicks {
  std::vector<int> columns;
  std::vector<int> rows;
};

// Gives the picks for a w x h picture drawn at destination; false when
// there are none (the picture is then drawn as it is). Decoding threads
// are given one that asks the main thread.
using PickReader = std::function<bool(int w, int h, SDL_Rect destination, PixelPicks& picks)>;

// Where a decoded picture goes: placement (null: nowhere known, so it is
// kept as it is) and how to learn the renderer's picks there.
struct DrawnPlace {
  Placement placement = nullptr;
  PickReader picks;
};

// The picks of the renderer drawing a w x h texture into destination on
// target, a poster-sized texture whose pixels have 8 bits for each of red,
// green and blue, read by drawing a probe texture of that size there whose
// rows and columns name themselves. False when the renderer would filter
// rather than pick (a scale-quality hint asks for it) or the probe cannot be
// made or read. Main thread only.
bool readPixelPicks(SDL_Renderer* renderer, SDL_Texture* target, int w, int h, SDL_Rect destination,
                    PixelPicks& picks);

// As readPixelPicks, once for each size and destination, on canvas when its
// format allows, otherwise on a target of its own. Main thread only.
bool knownPixelPicks(SDL_Renderer* renderer, SDL_Texture* canvas, int w, int h,
                     SDL_Rect destination, PixelPicks& picks);

// Whether a w x h picture drawn at destination is drawn smaller than it is.
bool drawnSmaller(int w, int h, SDL_Rect destination);

// The picks, in the stored picture's own order, for a picture stored as
// the EXIF orientation says (resources/orientation.h) at stored x stored
// pixels (w x h): the stored picture reduced by them and then turned
// upright is the upright picture reduced by the upright picks.
PixelPicks storedPicks(const PixelPicks& upright, int orientation, int w, int h);

// A new surface of the picks' size holding the picked pixels, in the
// surface's own pixel format, with its palette, colour key and blend mode.
// Null, with SDL's error set, when it cannot be made.
SDL_Surface* pickPixels(const SDL_Surface* surface, const PixelPicks& picks);

// The surface reduced to its size where place puts it, when it is drawn
// smaller than it is and the renderer picks pixels (the given surface is
// then freed); otherwise the surface itself. Any thread.
SDL_Surface* reduceToDrawnSize(SDL_Surface* surface, const DrawnPlace& place);

// Releases the probe's target and the picks once every picture is loaded.
void finishReducing();

#endif  // POSTERGEN_RESOURCES_DRAWN_SIZE_H_
