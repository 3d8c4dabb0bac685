// Reads PNG files a row at a time as 8-bit RGBA, in memory bounded by the
// reader, not by what a file claims. The kind postergen writes (8-bit
// RGBA, not interlaced) up to a poster's size is read several times faster
// than libpng: its image data is inflated at once by libdeflate, then
// unfiltered in place. Other PNGs, and any whose image data is longer than
// its pixels could need, are read by libpng a row at a time. Needs no SDL;
// any thread may read.
#ifndef POSTERGEN_PNG_PNG_READER_H_
#define POSTERGEN_PNG_PNG_READER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// The largest image the fast reader takes (a poster), and the most memory
// it holds: the image data inflated, and as it is in the file. It keeps
// that memory for the thread's next image.
constexpr int64_t kPngFastPixels = int64_t{2160} * 3840;
constexpr int64_t kPngReadBytes = int64_t{2} * (2160 * 4 + 1) * 3840 + (int64_t{1} << 20);

using PngRowSink = std::function<void(const uint8_t* rgba, int width)>;

struct PngRows {
  enum class Outcome {
    kRead,       // every row was given
    kOtherKind,  // for readOwnPng: another depth or colour type, interlaced, too large, image
                 // data longer than the image could need, or no PNG: nothing given
    kDamaged,    // a chunk's checksum, the image data or the file's end is wrong, or (for
                 // readPngRows) libpng cannot read it
  };
  Outcome outcome = Outcome::kOtherKind;
  int width = 0;
  int height = 0;
  std::string problem;  // for kDamaged
};

// Gives each row of the PNG read from file, from its current position, top
// to bottom, to row as width x 4 bytes of RGBA: 16-bit samples reduced to
// 8, grey and palettes expanded, an opaque alpha added where there is none.
// Images larger than maxSide a side or maxPixels, and interlaced ones, are
// refused as kDamaged, with a reason. A row may be given before a later
// one turns out damaged.
PngRows readPngRows(std::FILE* file, int64_t maxSide, int64_t maxPixels, const PngRowSink& row);

// True when the file's last chunk is IEND: it was written to its end.
bool pngEndsWithIend(std::FILE* file);

// The fast reader alone: gives each row of a PNG of postergen's kind, of at
// most largestImage pixels, once the file's chunks and image data have
// been checked (a row with an unknown filter still ends it early). Chunks
// other than the image data are checked as they pass, never held.
PngRows readOwnPng(std::FILE* file, int64_t largestImage, const PngRowSink& row);

#endif  // POSTERGEN_PNG_PNG_READER_H_
