// A poster's thumbnail for the contact sheet: an eighth of its size each
// way (270 x 480 for a poster), each pixel the mean of the 8 x 8 block it
// stands for, laid over white where the poster is transparent, as a JPEG.
// A poster postergen wrote is read with its own fast reader, which holds
// the poster's image data and file (kThumbnailBytes at most); any other PNG
// by libpng, a row at a time.
#ifndef POSTERGEN_BATCH_THUMBNAIL_H_
#define POSTERGEN_BATCH_THUMBNAIL_H_

#include <cstdint>
#include <cstdio>
#include <string>

constexpr int kThumbnailScale = 8;
// The most memory one thumbnail takes: a poster's image data, filtered, and
// its file, which deflate makes at most a little larger.
constexpr int64_t kThumbnailBytes = int64_t{2} * (2160 * 4 + 1) * 3840 + (int64_t{1} << 20);

struct Thumbnail {
  std::string jpeg;  // empty when it could not be made
  int width = 0;
  int height = 0;
  std::string problem;  // why not, in words
};

// From the PNG open at png, read from its current position.
Thumbnail makeThumbnail(std::FILE* png);

#endif  // POSTERGEN_BATCH_THUMBNAIL_H_
