#include "png/png_reader.h"

#include <libdeflate.h>
#include <png.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "png/png_format.h"

namespace {

constexpr int kBytesPerPixel = 4;

uint32_t bigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

PngRows damaged(const std::string& problem) {
  PngRows rows;
  rows.outcome = PngRows::Outcome::kDamaged;
  rows.problem = problem;
  return rows;
}

void unpaeth(uint8_t* x, const uint8_t* up, size_t n);

// Reverses the row's filter in place; up is the row above, unfiltered.
bool unfilter(uint8_t type, uint8_t* x, const uint8_t* up, size_t n) {
  const size_t b = kBytesPerPixel;
  switch (type) {
    case 0: return true;
    case 1:
      for (size_t i = b; i < n; ++i) x[i] += x[i - b];
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) x[i] += up[i];
      return true;
    case 3:
      for (size_t i = 0; i < b; ++i) x[i] += up[i] >> 1;
      for (size_t i = b; i < n; ++i) x[i] += (x[i - b] + up[i]) >> 1;
      return true;
    case 4: unpaeth(x, up, n); return true;
    default: return false;
  }
}

#ifdef __SSE2__
// A pixel's four channels in 16-bit lanes.
__m128i widen(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

void store(uint8_t* p, __m128i pixel) {
  const int32_t v = _mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel));
  std::memcpy(p, &v, 4);
}

// The filtered bytes plus the Paeth prediction from left (a), up (b) and
// up-left (c), lane by lane, modulo 256.
__m128i unpaethStep(__m128i filtered, __m128i a, __m128i b, __m128i c) {
  return _mm_and_si128(_mm_add_epi16(filtered, paethPredictor16(a, b, c)), _mm_set1_epi16(0xFF));
}

// The Paeth filter reversed a pixel at a time, as libpng does. Each pixel
// waits for the one on its left, so the bytes cannot be done in wide runs.
void unpaeth(uint8_t* x, const uint8_t* up, size_t n) {
  __m128i a = _mm_setzero_si128();  // left
  __m128i c = a;                    // up-left
  for (size_t i = 0; i < n; i += kBytesPerPixel) {
    const __m128i b = widen(up + i);
    a = unpaethStep(widen(x + i), a, b, c);
    store(x + i, a);
    c = b;
  }
}

// Two Paeth rows reversed together: pixel k of the first row (the low
// lanes) beside pixel k - 1 of the second (the high lanes), whose up and
// up-left pixels the first row has just made. The two rows share one chain
// of dependent steps, so they take about the time of one.
bool unpaethTwo(uint8_t* x0, uint8_t* x1, const uint8_t* up, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero;  // left
  __m128i c = zero;  // up-left
  const size_t pixels = n / kBytesPerPixel;
  for (size_t k = 0; k <= pixels; ++k) {
    uint8_t* first = x0 + k * kBytesPerPixel;
    uint8_t* second = k > 0 ? x1 + (k - 1) * kBytesPerPixel : x1;
    const __m128i above = k < pixels ? widen(up + k * kBytesPerPixel) : zero;
    const __m128i b = _mm_unpacklo_epi64(above, a);  // the second row's up: the first's last
    a = unpaethStep(
        _mm_unpacklo_epi64(k < pixels ? widen(first) : zero, k > 0 ? widen(second) : zero), a, b,
        c);
    if (k < pixels) store(first, a);
    if (k > 0) store(second, _mm_srli_si128(a, 8));
    c = b;
  }
  return true;
}
#else
bool unpaethTwo(uint8_t*, uint8_t*, const uint8_t*, size_t) { return false; }

void unpaeth(uint8_t* x, const uint8_t* up, size_t n) {
  const size_t b = kBytesPerPixel;
  for (size_t i = 0; i < b; ++i) x[i] += up[i];
  for (size_t i = b; i < n; ++i) x[i] += paethPredictor(x[i - b], up[i], up[i - b]);
}
#endif

struct Deleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// The longest zlib stream a sensible encoder makes of size bytes: every
// byte in stored blocks of 65535, the most a block holds.
size_t longestZlib(size_t size) { return size + 5 * (size / 65535 + 1) + 6; }

// Reads size bytes of a chunk that is not kept, into its CRC.
bool passOver(std::FILE* file, size_t size, uint32_t& crc) {
  uint8_t piece[1 << 16];
  for (size_t left = size; left > 0;) {
    const size_t n = left < sizeof piece ? left : sizeof piece;
    if (std::fread(piece, 1, n, file) != n) return false;
    crc = libdeflate_crc32(crc, piece, n);
    left -= n;
  }
  return true;
}

struct PngFailure {
  std::jmp_buf jump;
  std::string text;
};

void pngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  failure->text = message;
  std::longjmp(failure->jump, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// Any PNG through libpng, a row at a time; ancillary chunks are held up
// to libpng's limit of 8 MB each.
PngRows readByLibpng(std::FILE* file, int64_t maxSide, int64_t maxPixels, const PngRowSink& row) {
  PngFailure failure;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
  if (!png) return damaged("out of memory");
  png_infop info = png_create_info_struct(png);
  // Made before the jump point, so that a longjmp back to it skips no
  // destructor and finds it as it was left.
  const auto line = std::make_unique<std::vector<png_byte>>();
  PngRows rows;
  if (info && setjmp(failure.jump) == 0) {
    png_set_user_limits(png, static_cast<png_uint_32>(maxSide), static_cast<png_uint_32>(maxSide));
    png_set_chunk_malloc_max(png, 8000000);
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)
      png_error(png, "an interlaced PNG, which postergen does not write");
    if (int64_t{w} * h > maxPixels) png_error(png, "larger than an image is read");
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    line->resize(size_t{w} * 4);
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, line->data(), nullptr);
      row(line->data(), static_cast<int>(w));
    }
    rows.outcome = PngRows::Outcome::kRead;
    rows.width = static_cast<int>(w);
    rows.height = static_cast<int>(h);
  } else {
    rows = damaged(info ? failure.text : "out of memory");
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  return rows;
}

}  // namespace

PngRows readPngRows(std::FILE* file, int64_t maxSide, int64_t maxPixels, const PngRowSink& row) {
  const long start = std::ftell(file);
  const PngRows own = readOwnPng(file, std::min(kPngFastPixels, maxPixels), row);
  if (own.outcome != PngRows::Outcome::kOtherKind) return own;
  if (start < 0 || std::fseek(file, start, SEEK_SET) != 0)
    return damaged("it cannot be read again from its start");
  return readByLibpng(file, maxSide, maxPixels, row);
}

bool pngEndsWithIend(std::FILE* file) {
  uint8_t tail[12];
  if (std::fseek(file, -12, SEEK_END) != 0 || std::fread(tail, 1, sizeof tail, file) != 12)
    return false;
  return bigEndian(tail) == 0 && std::memcmp(tail + 4, "IEND", 4) == 0 &&
         bigEndian(tail + 8) == pngChunkCrc(tail + 4, nullptr, 0);
}

PngRows readOwnPng(std::FILE* file, int64_t largestImage, const PngRowSink& row) {
  PngRows rows;
  uint8_t head[33];
  if (std::fread(head, 1, sizeof head, file) != sizeof head ||
      std::memcmp(head, kPngSignature, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0 ||
      bigEndian(head + 8) != 13)
    return rows;
  const uint8_t* header = head + 16;
  const int64_t width = bigEndian(header);
  const int64_t height = bigEndian(header + 4);
  if (std::memcmp(header + 8, kPngOwnKind, sizeof kPngOwnKind) != 0 || width < 1 || height < 1 ||
      width > largestImage || height > largestImage / width)
    return rows;
  if (pngChunkCrc(head + 12, header, 13) != bigEndian(head + 29))
    return damaged("a chunk's checksum does not match");

  const size_t stride = static_cast<size_t>(width) * kBytesPerPixel;
  const size_t expected = (stride + 1) * static_cast<size_t>(height);
  // The image data gathered, every chunk's checksum checked, up to IEND.
  // Image data longer than any sensible encoder makes of the image is left
  // to libpng, which reads it a piece at a time.
  thread_local std::vector<uint8_t> zlib;
  zlib.clear();
  const size_t longest = longestZlib(expected);
  zlib.reserve(longest);
  for (bool ended = false; !ended;) {
    uint8_t chunk[8];
    if (std::fread(chunk, 1, 8, file) != 8) return damaged("it ends before its IEND chunk");
    const uint32_t length = bigEndian(chunk);
    if (length > 0x7FFFFFFF) return damaged("a chunk's length is wrong");
    uint32_t crc = libdeflate_crc32(0, chunk + 4, 4);
    if (std::memcmp(chunk + 4, "IDAT", 4) == 0) {
      if (length > longest - zlib.size()) return PngRows{};
      // Grown as the bytes arrive, so that a length the file does not hold
      // costs no memory.
      for (size_t left = length; left > 0;) {
        const size_t piece = left < (1u << 20) ? left : (1u << 20);
        zlib.resize(zlib.size() + piece);
        if (std::fread(zlib.data() + zlib.size() - piece, 1, piece, file) != piece)
          return damaged("it ends inside a chunk");
        crc = libdeflate_crc32(crc, zlib.data() + zlib.size() - piece, piece);
        left -= piece;
      }
    } else if (!passOver(file, length, crc)) {
      return damaged("it ends inside a chunk");
    }
    uint8_t stored[4];
    if (std::fread(stored, 1, 4, file) != 4) return damaged("it ends inside a chunk");
    if (crc != bigEndian(stored)) return damaged("a chunk's checksum does not match");
    ended = std::memcmp(chunk + 4, "IEND", 4) == 0;
  }

  // Kept by the thread for its next image: fresh pages cost more than the
  // inflating on some virtual machines.
  thread_local std::unique_ptr<uint8_t[]> data;
  thread_local size_t capacity = 0;
  if (capacity < expected) {
    data.reset(new (std::nothrow) uint8_t[expected]);
    capacity = data ? expected : 0;
  }
  thread_local std::unique_ptr<libdeflate_decompressor, Deleter> inflater(
      libdeflate_alloc_decompressor());
  if (!data || !inflater) return damaged("out of memory");
  size_t inflated = 0;
  if (libdeflate_zlib_decompress(inflater.get(), zlib.data(), zlib.size(), data.get(), expected,
                                 &inflated) != LIBDEFLATE_SUCCESS ||
      inflated != expected)
    return damaged("its image data is damaged or short");

  const std::vector<uint8_t> zeros(stride, 0);
  const uint8_t* up = zeros.data();
  for (int64_t y = 0; y < height; ++y) {
    uint8_t* line = data.get() + static_cast<size_t>(y) * (stride + 1);
    uint8_t* next = line + stride + 1;
    if (line[0] == 4 && y + 1 < height && next[0] == 4 &&
        unpaethTwo(line + 1, next + 1, up, stride)) {
      row(line + 1, static_cast<int>(width));
      row(next + 1, static_cast<int>(width));
      up = next + 1;
      ++y;
      continue;
    }
    if (!unfilter(line[0], line + 1, up, stride))
      return damaged("row " + std::to_string(y) + " has an unknown filter");
    row(line + 1, static_cast<int>(width));
    up = line + 1;
  }
  rows.outcome = PngRows::Outcome::kRead;
  rows.width = static_cast<int>(width);
  rows.height = static_cast<int>(height);
  return rows;
}
