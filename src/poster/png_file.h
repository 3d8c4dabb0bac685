// Writes a surface as a PNG file that is whole or absent: encoded into a
// temporary file beside it, synced to the disk, then renamed over it.
#ifndef POSTERGEN_POSTER_PNG_FILE_H_
#define POSTERGEN_POSTER_PNG_FILE_H_

#include <SDL.h>

#include <string>

// Encodes the surface with SDL_image's PNG writer into a new temporary file,
// checking every write, the sync and the close, and renames it over path
// (replacing a symbolic link there, not what it points to). Returns true
// when path holds the new file. Otherwise error tells why, the temporary
// file is gone and whatever path held before is untouched.
bool writePngFile(SDL_Surface* surface, const std::string& path, std::string& error);

#endif  // POSTERGEN_POSTER_PNG_FILE_H_
