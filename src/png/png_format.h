// What postergen's PNG writer and its reader share: the file's signature,
// the one kind of image it writes, the chunk checksum and the Paeth
// predictor.
#ifndef POSTERGEN_PNG_PNG_FORMAT_H_
#define POSTERGEN_PNG_PNG_FORMAT_H_

#include <libdeflate.h>

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

#endif  // POSTERGEN_PNG_PNG_FORMAT_H_
