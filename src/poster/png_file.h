// Writes a PNG file that is whole or absent: its chunks go to a
// temporary file beside it, synced to the disk, then renamed over it.
#ifndef POSTERGEN_POSTER_PNG_FILE_H_
#define POSTERGEN_POSTER_PNG_FILE_H_

#include <string>

#include "poster/png_encoder.h"

// Writes the deflated image's PNG chunks into a new temporary file, checking
// every write, the sync and the close, and renames it over path
// (replacing a symbolic link there, not what it points to). Returns true
// when path holds the new file. Otherwise error tells why, the temporary
// file is gone and whatever path held before is untouched.
bool writePngFile(const DeflatedPng& png, const std::string& path, std::string& error);

#endif  // POSTERGEN_POSTER_PNG_FILE_H_
