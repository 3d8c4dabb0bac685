// A poster's thumbnail for the contact sheet: an eighth of its size each
// way (270 x 480 for a poster), each pixel the mean of the 8 x 8 block it
// stands for, laid over white where the poster is transparent, as a JPEG.
// postergen makes it from a poster's pixels as it writes the poster, when
// the batch asks; the contact sheet from a poster's file otherwise, read
// by png/png_reader.h in kPngReadBytes at most. Needs no SDL.
#ifndef POSTERGEN_THUMBNAIL_THUMBNAIL_H_
#define POSTERGEN_THUMBNAIL_THUMBNAIL_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "png/png_reader.h"

constexpr int kThumbnailScale = 8;
// The most memory one thumbnail takes.
constexpr int64_t kThumbnailBytes = kPngReadBytes;

struct Thumbnail {
  std::string jpeg;  // empty when it could not be made
  int width = 0;
  int height = 0;
  std::string problem;  // why not, in words
};

// From RGBA pixels, width x height, each row pitch bytes after the one
// before.
Thumbnail thumbnailOfPixels(const uint8_t* rgba, int width, int height, size_t pitch);

// From the PNG open at png, read from its current position.
Thumbnail makeThumbnail(std::FILE* png);

#endif  // POSTERGEN_THUMBNAIL_THUMBNAIL_H_
