// A poster's thumbnail for the contact sheet: an eighth of its size each
// way (270 x 480 for a poster), each pixel the mean of the 8 x 8 block it
// stands for, laid over white where the poster is transparent, as a JPEG.
// The poster is read by png/png_reader.h, in kPngReadBytes at most.
#ifndef POSTERGEN_CONTACT_SHEET_THUMBNAIL_H_
#define POSTERGEN_CONTACT_SHEET_THUMBNAIL_H_

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

// From the PNG open at png, read from its current position.
Thumbnail makeThumbnail(std::FILE* png);

#endif  // POSTERGEN_CONTACT_SHEET_THUMBNAIL_H_
