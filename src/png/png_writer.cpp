#include "png/png_writer.h"

#include <libdeflate.h>
#ifdef POSTERGEN_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "png/png_format.h"

namespace {

constexpr int kBytesPerPixel = 4;
constexpr size_t kIdatPiece = 256 << 10;

enum FilterType : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// One filtered byte of the row cur (the row above is up), by filter type.
uint8_t filteredByte(uint8_t type, const uint8_t* cur, const uint8_t* up, size_t i) {
  const int a = i >= kBytesPerPixel ? cur[i - kBytesPerPixel] : 0;
  const int c = i >= kBytesPerPixel ? up[i - kBytesPerPixel] : 0;
  switch (type) {
    case kSub: return static_cast<uint8_t>(cur[i] - a);
    case kUp: return static_cast<uint8_t>(cur[i] - up[i]);
    case kAverage: return static_cast<uint8_t>(cur[i] - ((a + up[i]) >> 1));
    case kPaeth: return static_cast<uint8_t>(cur[i] - paethPredictor(a, up[i], c));
    default: return cur[i];
  }
}

#ifdef __SSE2__
// The heuristic's five costs and the chosen filter's bytes, sixteen bytes
// at a time: the bytes to the left (a) and up-left (c) are those four
// before, zero for the first pixel.
struct Lanes {
  __m128i x, a, b, c;
};

Lanes lanesAt(const uint8_t* cur, const uint8_t* up, size_t i) {
  const auto load = [](const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  Lanes l{load(cur + i), {}, load(up + i), {}};
  l.a = i ? load(cur + i - kBytesPerPixel) : _mm_slli_si128(l.x, kBytesPerPixel);
  l.c = i ? load(up + i - kBytesPerPixel) : _mm_slli_si128(l.b, kBytesPerPixel);
  return l;
}

__m128i filtered16(uint8_t type, const Lanes& l) {
  const __m128i zero = _mm_setzero_si128();
  switch (type) {
    case kSub: return _mm_sub_epi8(l.x, l.a);
    case kUp: return _mm_sub_epi8(l.x, l.b);
    case kAverage: {
      // _mm_avg_epu8 rounds up; the filter rounds down.
      const __m128i odd = _mm_and_si128(_mm_xor_si128(l.a, l.b), _mm_set1_epi8(1));
      return _mm_sub_epi8(l.x, _mm_sub_epi8(_mm_avg_epu8(l.a, l.b), odd));
    }
    case kPaeth: {
      const auto half = [&](__m128i (*unpack)(__m128i, __m128i)) {
        return paethPredictor16(unpack(l.a, zero), unpack(l.b, zero), unpack(l.c, zero));
      };
      const __m128i predicted = _mm_packus_epi16(half(_mm_unpacklo_epi8), half(_mm_unpackhi_epi8));
      return _mm_sub_epi8(l.x, predicted);
    }
    default: return l.x;
  }
}

// Sums of the bytes read as signed, in the two halves: |v| is the smaller
// of v and -v read as unsigned.
__m128i magnitudes16(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero);
}

#endif

// The first filter whose bytes have the least sum read as signed.
uint8_t cheapestFilter(const uint8_t* cur, const uint8_t* up, size_t n) {
  unsigned long costs[5] = {};
#ifdef __SSE2__
  const size_t wide = n - n % 16;
  __m128i sums[5] = {};
  for (size_t i = 0; i < wide; i += 16) {
    const Lanes l = lanesAt(cur, up, i);
    for (uint8_t type = kNone; type <= kPaeth; ++type)
      sums[type] = _mm_add_epi64(sums[type], magnitudes16(filtered16(type, l)));
  }
  for (uint8_t type = kNone; type <= kPaeth; ++type)
    costs[type] = static_cast<unsigned long>(_mm_cvtsi128_si64(sums[type]) +
                                             _mm_cvtsi128_si64(_mm_srli_si128(sums[type], 8)));
#else
  const size_t wide = 0;
#endif
  uint8_t best = kNone;
  for (uint8_t type = kNone; type <= kPaeth; ++type) {
    for (size_t i = wide; i < n; ++i)
      costs[type] +=
          static_cast<unsigned>(std::abs(static_cast<int8_t>(filteredByte(type, cur, up, i))));
    if (costs[type] < costs[best]) best = type;
  }
  return best;
}

void filterInto(uint8_t type, const uint8_t* cur, const uint8_t* up, size_t n, uint8_t* out) {
  size_t i = 0;
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), filtered16(type, lanesAt(cur, up, i)));
#endif
  for (; i < n; ++i) out[i] = filteredByte(type, cur, up, i);
}

// Filters the row cur, whose type byte is cur[-1], where it lies, through
// scratch (n bytes). Only cur changes: the row above is read as it was.
void filterRow(uint8_t* cur, const uint8_t* up, size_t n, PngFilters filters, uint8_t* scratch) {
  uint8_t type = kNone;
  switch (filters) {
    case PngFilters::kNone: break;
    case PngFilters::kSub: type = kSub; break;
    case PngFilters::kUp: type = kUp; break;
    case PngFilters::kAdaptive: type = cheapestFilter(cur, up, n); break;
  }
  cur[-1] = type;
  if (type == kNone) return;
  filterInto(type, cur, up, n, scratch);
  std::memcpy(cur, scratch, n);
}

void putBigEndian(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

// One chunk: length, type, data, and the CRC of type and data.
bool writeChunk(const char* type, const uint8_t* data, size_t size,
                const std::function<bool(const void*, size_t)>& write) {
  uint8_t head[8];
  putBigEndian(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uint8_t crc[4];
  putBigEndian(crc, pngChunkCrc(head + 4, data, size));
  return write(head, sizeof head) && (size == 0 || write(data, size)) && write(crc, sizeof crc);
}

#ifdef POSTERGEN_HAVE_ISAL
// A zlib stream by igzip's level 1 (each block with Huffman codes of its
// own); 0 when it does not fit or memory runs out.
size_t isalZlib(const uint8_t* in, size_t size, uint8_t* out, size_t capacity) {
  if (size > UINT32_MAX) return 0;
  ByteBuffer levelBuffer(static_cast<uint8_t*>(std::malloc(ISAL_DEF_LVL1_DEFAULT)));
  if (!levelBuffer) return 0;
  // Zeroed: igzip reads state it has not written (it checks every match it
  // finds), which memory checkers rightly report when left undefined.
  isal_zstream stream{};
  isal_deflate_stateless_init(&stream);
  stream.level = 1;
  stream.level_buf = levelBuffer.get();
  stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
  stream.gzip_flag = IGZIP_ZLIB;
  stream.end_of_stream = 1;
  stream.flush = NO_FLUSH;
  stream.next_in = const_cast<uint8_t*>(in);
  stream.avail_in = static_cast<uint32_t>(size);
  stream.next_out = out;
  stream.avail_out = static_cast<uint32_t>(capacity > UINT32_MAX ? UINT32_MAX : capacity);
  return isal_deflate_stateless(&stream) == COMP_OK ? stream.total_out : 0;
}

// Whether igzip deflates the rows no larger than libdeflate does, told by
// deflating four bands of them, spread over the image, with both.
constexpr int kSampleBands = 4;
constexpr int kSampleRows = 32;

bool isalAsSmall(const uint8_t* rows, int width, int height, libdeflate_compressor* compressor) {
  const size_t pitch = filteredPngPitch(width);
  const int bandRows = height < kSampleBands * kSampleRows ? height : kSampleRows;
  const size_t band = pitch * static_cast<size_t>(bandRows);
  const size_t capacity = libdeflate_zlib_compress_bound(compressor, band);
  ByteBuffer out(static_cast<uint8_t*>(std::malloc(capacity)));
  if (!out) return false;
  size_t isal = 0;
  size_t libdeflate = 0;
  const int bands = bandRows == height ? 1 : kSampleBands;
  for (int b = 0; b < bands; ++b) {
    const int first =
        bands == 1 ? 0 : static_cast<int>(int64_t{height} * (2 * b + 1) / (2 * bands));
    const uint8_t* in = rows + static_cast<size_t>(first) * pitch;
    const size_t byIsal = isalZlib(in, band, out.get(), capacity);
    const size_t byLibdeflate = libdeflate_zlib_compress(compressor, in, band, out.get(), capacity);
    if (byIsal == 0 || byLibdeflate == 0) return false;
    isal += byIsal;
    libdeflate += byLibdeflate;
  }
  return isal <= libdeflate;
}
#endif

}  // namespace

size_t filteredPngPitch(int width) { return static_cast<size_t>(width) * kBytesPerPixel + 1; }

size_t filteredPngSize(int width, int height) {
  return filteredPngPitch(width) * static_cast<size_t>(height);
}

// From the last row up, so that each row is filtered while the row above
// still holds its pixels.
bool filterPngRowsInPlace(uint8_t* rows, int width, int height, PngFilters filters) {
  const size_t n = static_cast<size_t>(width) * kBytesPerPixel;
  const size_t pitch = n + 1;
  // A row for the filtered bytes, then a row of zeros: the one above the
  // first.
  ByteBuffer scratch(static_cast<uint8_t*>(std::calloc(2 * n + 1, 1)));
  if (!scratch) return false;
  const uint8_t* zeros = scratch.get() + n;
  for (int y = height - 1; y >= 0; --y) {
    uint8_t* cur = rows + static_cast<size_t>(y) * pitch + 1;
    filterRow(cur, y ? cur - pitch : zeros, n, filters, scratch.get());
  }
  return true;
}

ByteBuffer filterPngRows(const uint8_t* rgba, int width, int height, size_t pitch,
                         PngFilters filters) {
  const size_t n = static_cast<size_t>(width) * kBytesPerPixel;
  ByteBuffer rows(static_cast<uint8_t*>(std::malloc(filteredPngSize(width, height))));
  if (!rows) return nullptr;
  for (int y = 0; y < height; ++y)
    std::memcpy(rows.get() + static_cast<size_t>(y) * (n + 1) + 1,
                rgba + static_cast<size_t>(y) * pitch, n);
  if (!filterPngRowsInPlace(rows.get(), width, height, filters)) return nullptr;
  return rows;
}

bool deflatePngRows(const uint8_t* rows, int width, int height, DeflatedPng& out, int level,
                    PngDeflater deflater) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (!compressor) return false;
  const size_t in = filteredPngSize(width, height);
  const size_t bound = libdeflate_zlib_compress_bound(compressor, in);
  if (out.capacity < bound) {
    out.zlib.reset(static_cast<uint8_t*>(std::malloc(bound)));
    out.capacity = out.zlib ? bound : 0;
  }
  out.size = 0;
#ifdef POSTERGEN_HAVE_ISAL
  const bool isal =
      deflater == PngDeflater::kIsal ||
      (deflater == PngDeflater::kChosen && isalAsSmall(rows, width, height, compressor));
  if (isal && out.zlib) out.size = isalZlib(rows, in, out.zlib.get(), out.capacity);
#else
  (void)deflater;
#endif
  // libdeflate also takes what igzip could not fit.
  if (out.size == 0 && out.zlib)
    out.size = libdeflate_zlib_compress(compressor, rows, in, out.zlib.get(), out.capacity);
  libdeflate_free_compressor(compressor);
  out.width = width;
  out.height = height;
  return out.size != 0;
}

bool writePngChunks(const DeflatedPng& png, const std::function<bool(const void*, size_t)>& write) {
  uint8_t header[13];
  putBigEndian(header, static_cast<uint32_t>(png.width));
  putBigEndian(header + 4, static_cast<uint32_t>(png.height));
  std::memcpy(header + 8, kPngOwnKind, sizeof kPngOwnKind);
  if (!write(kPngSignature, sizeof kPngSignature) ||
      !writeChunk("IHDR", header, sizeof header, write))
    return false;
  for (size_t at = 0; at < png.size; at += kIdatPiece) {
    const size_t piece = png.size - at < kIdatPiece ? png.size - at : kIdatPiece;
    if (!writeChunk("IDAT", png.zlib.get() + at, piece, write)) return false;
  }
  return writeChunk("IEND", nullptr, 0, write);
}
