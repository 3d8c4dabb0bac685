// Keeps decoded pictures within the renderer's largest texture (16384
// pixels a side with OpenGL and Direct3D; the software renderer has no
// limit): a larger one is scaled down, keeping its aspect, by averaging the
// pixels each new pixel covers, so that what the poster shows matches what
// a renderer without the limit makes from the whole picture.
#ifndef POSTERGEN_RESOURCES_TEXTURE_LIMIT_H_
#define POSTERGEN_RESOURCES_TEXTURE_LIMIT_H_

#include <SDL.h>

// The largest texture the renderer makes; 0 for a side without a limit.
SDL_Point largestTexture(SDL_Renderer* renderer);

// The size a w x h picture is scaled to so that it fits within limit (a
// side of 0 has no limit), keeping its aspect ratio; w x h when it fits.
SDL_Point sizeWithin(int w, int h, SDL_Point limit);

// Returns the surface itself when it fits within limit; otherwise a new
// 32-bit RGBA surface of sizeWithin's size, each pixel the average of the
// pixels it covers (weighted by their alpha), and frees the one given.
// Null, with SDL's error set and the given surface freed, when memory runs
// out.
SDL_Surface* shrinkToFit(SDL_Surface* surface, SDL_Point limit);

#endif  // POSTERGEN_RESOURCES_TEXTURE_LIMIT_H_
