// Writes the contents of a texture to a PNG file.
#ifndef POSTERGEN_POSTER_PNG_EXPORT_H_
#define POSTERGEN_POSTER_PNG_EXPORT_H_

#include <SDL.h>

// Copies the texture onto a temporary RGBA target and reads it back, then
// hands the pixels to a poster writer (poster/export_queue.h), which saves
// them as PNG, replacing any file at path only once the new one is whole on
// the disk. Success and every failure are logged in the order the exports
// began; nothing is returned, and nothing of the renderer's outlives the
// call. Leaves the render target switched away from what it was on success.
void saveTextureAsPng(SDL_Texture* texture, const char* path);

#endif  // POSTERGEN_POSTER_PNG_EXPORT_H_
