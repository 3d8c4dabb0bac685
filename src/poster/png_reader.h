// Reads back the PNG files postergen writes (8-bit RGBA, not interlaced)
// several times faster than libpng: the image data is inflated at once by
// libdeflate, then unfiltered in place a row at a time. Other PNGs are left
// to libpng. Needs no SDL; any thread may read.
#ifndef POSTERGEN_POSTER_PNG_READER_H_
#define POSTERGEN_POSTER_PNG_READER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

struct PngRows {
  enum class Outcome {
    kRead,       // every row was given
    kOtherKind,  // another depth or colour type, interlaced, too large, or no PNG: nothing given
    kDamaged,    // a chunk's checksum, the image data or the file's end is wrong
  };
  Outcome outcome = Outcome::kOtherKind;
  int width = 0;
  int height = 0;
  std::string problem;  // for kDamaged
};

// Gives each row of the PNG read from file, top to bottom, to row as
// width x 4 bytes of RGBA, once the file's chunks and image data have been
// checked (a row with an unknown filter still ends it early). An image of
// more than largestImage pixels is of another kind, read no further than
// its header. Costs the image's size in memory, filtered, and the file's,
// and keeps that memory for the thread's next image.
PngRows readOwnPng(std::FILE* file, int64_t largestImage,
                   const std::function<void(const uint8_t* rgba, int width)>& row);

#endif  // POSTERGEN_POSTER_PNG_READER_H_
