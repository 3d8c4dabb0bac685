// Brings decoded pictures to the pixel format their textures will have,
// on the decoding threads, so that making the texture on the main thread is
// a copy. SDL's own conversion of 3-byte pixels is a slow generic loop; the
// one here gives the same bytes.
#ifndef POSTERGEN_RESOURCES_TEXTURE_FORMAT_H_
#define POSTERGEN_RESOURCES_TEXTURE_FORMAT_H_

#include <SDL.h>

// The format SDL_CreateTextureFromSurface gives an opaque surface of a
// format the renderer lacks: the first of the renderer's texture formats
// that is packed and without alpha, else its first. SDL_PIXELFORMAT_UNKNOWN
// when the renderer cannot tell.
Uint32 opaqueTextureFormat(SDL_Renderer* renderer);

// An RGB24 surface without a colour key, converted to format (a packed
// 32-bit format) exactly as SDL_ConvertSurfaceFormat converts it; the
// given surface is freed. Any other surface or format is returned as it
// is. Null when memory runs out (the given surface freed).
SDL_Surface* toTextureFormat(SDL_Surface* surface, Uint32 format);

#endif  // POSTERGEN_RESOURCES_TEXTURE_FORMAT_H_
