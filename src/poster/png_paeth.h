// PNG's Paeth predictor, shared by the writer's filters and the reader's
// reconstruction.
#ifndef POSTERGEN_POSTER_PNG_PAETH_H_
#define POSTERGEN_POSTER_PNG_PAETH_H_

#include <cstdint>

// Of left (a), up (b) and up-left (c), the one nearest a + b - c.
inline uint8_t paethPredictor(int a, int b, int c) {
  const int pa = b > c ? b - c : c - b;
  const int pb = a > c ? a - c : c - a;
  const int pc = a + b - 2 * c > 0 ? a + b - 2 * c : 2 * c - a - b;
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

#endif  // POSTERGEN_POSTER_PNG_PAETH_H_
