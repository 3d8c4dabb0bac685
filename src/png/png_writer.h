// Encodes 8-bit RGBA pixels as PNG data in three steps: row filtering,
// deflating with libdeflate, and writing the chunks. The rows can be
// filtered where the pixels lie, so that a poster's pixels and its filtered
// rows take one buffer. Needs no SDL and touches no shared state, so any
// thread may encode.
#ifndef POSTERGEN_PNG_PNG_WRITER_H_
#define POSTERGEN_PNG_PNG_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using ByteBuffer = std::unique_ptr<uint8_t[], FreeDeleter>;

// How rows are filtered: each row by the one of PNG's five filters whose
// output has the least sum of magnitudes (the usual heuristic), or every
// row by one filter (for measurements).
enum class PngFilters { kAdaptive, kNone, kSub, kUp };

// The zlib level chosen by measurement (docs/benchmark.md).
constexpr int kPngDeflateLevel = 5;

// Which deflater makes the zlib stream. libdeflate finds the long matches
// of smooth pictures; ISA-L's igzip (where the build has it) is four times
// as fast and does as well on grainy ones, where matches are few and
// entropy coding is everything. By default each image gets the faster one
// when a sample of its rows says it is no larger (kChosen).
enum class PngDeflater { kChosen, kLibdeflate, kIsal };

// The image, deflated: a zlib stream of its filtered rows. Its buffer is
// kept for the next image deflated into the same DeflatedPng.
struct DeflatedPng {
  ByteBuffer zlib;
  size_t capacity = 0;
  size_t size = 0;
  int width = 0;
  int height = 0;
};

// Bytes of the filtered rows of a w x h image: each row is one filter type
// byte, then the row (filteredPngPitch bytes in all).
size_t filteredPngSize(int width, int height);
size_t filteredPngPitch(int width);

// Filters, where they lie, the rows of w x h RGBA pixels laid out as the
// filtered rows are: row y's pixels at rows + y x filteredPngPitch + 1,
// after the place of its type byte. False when memory runs out.
bool filterPngRowsInPlace(uint8_t* rows, int width, int height,
                          PngFilters filters = PngFilters::kAdaptive);

// Filters the rows of w x h RGBA pixels, each row pitch bytes after the one
// before, into a new buffer. Null when memory runs out.
ByteBuffer filterPngRows(const uint8_t* rgba, int width, int height, size_t pitch,
                         PngFilters filters = PngFilters::kAdaptive);

// Deflates the filtered rows into out, reusing its buffer when it is large
// enough. False when memory runs out.
bool deflatePngRows(const uint8_t* rows, int width, int height, DeflatedPng& out,
                    int level = kPngDeflateLevel, PngDeflater deflater = PngDeflater::kChosen);

// Writes the PNG file's bytes through write: signature, IHDR (8-bit RGBA,
// not interlaced), IDAT chunks, IEND. False as soon as write fails.
bool writePngChunks(const DeflatedPng& png, const std::function<bool(const void*, size_t)>& write);

#endif  // POSTERGEN_PNG_PNG_WRITER_H_
