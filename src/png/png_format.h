// What postergen's PNG writer and its reader share: the file's signature,
// the one kind of image it writes, the chunk checksum and the Paeth
// predictor.
#ifndef POSTERGEN_PNG_PNG_FORMAT_H_
#define POSTERGEN_PNG_PNG_FORMAT_H_

#include <libdeflate.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// IHDR's bytes after width and height: 8 bits a sample, RGBA, deflate,
// adaptive filtering, not interlaced.
constexpr uint8_t kPngOwnKind[5] = {8, 6, 0, 0, 0};

// The CRC of a chunk's type (4 bytes) and data.
inline uint32_t pngChunkCrc(const uint8_t* type, const uint8_t* data, size_t size) {
  const uint32_t sum = libdeflate_crc32(0, type, 4);
  // A null buffer would restart the sum.
  return size ? libdeflate_crc32(sum, data, size) : sum;
}

// Of left (a), up (b) and up-left (c), the one nearest a + b - c.
inline uint8_t paethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;
  const int pb = a > c ? a - c : c - a;
  const int pc = a + b - 2 * c > 0 ? a + b - 2 * c : 2 * c - a - b;
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

#ifdef __SSE2__
// The same, lane by lane, for eight 16-bit lanes of values 0 to 255.
inline __m128i paethPredictor16(__m128i a, __m128i b, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const auto magnitude = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  const __m128i p = _mm_sub_epi16(b, c);
  const __m128i q = _mm_sub_epi16(a, c);
  const __m128i pa = magnitude(p);
  const __m128i pb = magnitude(q);
  const __m128i pc = magnitude(_mm_add_epi16(p, q));
  const __m128i least = _mm_min_epi16(pa, _mm_min_epi16(pb, pc));
  // a where pa is least, else b where pb is, else c.
  const __m128i takeA = _mm_cmpeq_epi16(least, pa);
  const __m128i takeB = _mm_andnot_si128(takeA, _mm_cmpeq_epi16(least, pb));
  return _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                      _mm_andnot_si128(_mm_or_si128(takeA, takeB), c));
}
#endif

#endif  // POSTERGEN_PNG_PNG_FORMAT_H_
