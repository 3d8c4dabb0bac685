// Reads an image file through the one FILE* a run opens for it, so that its
// header check, its decoding, its colour profile and its EXIF orientation
// all read the same file, whatever is renamed over its path meanwhile:
// offsets of 64 bits, and an SDL_RWops for SDL_image's decoders.
#ifndef POSTERGEN_RESOURCES_FILE_READING_H_
#define POSTERGEN_RESOURCES_FILE_READING_H_

#include <SDL.h>

#include <cstdint>
#include <cstdio>

// As std::ftell and std::fseek, beyond 2 GiB on every platform built for.
int64_t fileOffset(std::FILE* file);
int seekFile(std::FILE* file, int64_t offset, int whence);

// The file's size in bytes, the position left where it was; -1 when it
// cannot be told.
int64_t fileSize(std::FILE* file);

// Reads the file from where it stands, as SDL_RWFromFile's would; closing
// it frees the SDL_RWops and leaves the file open. Null when out of memory.
SDL_RWops* readingRWops(std::FILE* file);

#endif  // POSTERGEN_RESOURCES_FILE_READING_H_
