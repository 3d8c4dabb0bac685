#include "thumbnail/thumbnail.h"

#include <jpeglib.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "png/png_reader.h"
#include "resources/image_header.h"

namespace {

constexpr int kJpegQuality = 85;

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

#ifdef __SSE2__
// Adds r x a, g x a, b x a and a over 8 pixels to the block's sums.
void addEightPixels(const uint8_t* rgba, uint32_t* sums) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  const __m128i ones = _mm_set1_epi16(1);
  __m128i sum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums));
  for (int i = 0; i < 2; ++i) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgba + 16 * i));
    for (const __m128i two : {_mm_unpacklo_epi8(four, zero), _mm_unpackhi_epi8(four, zero)}) {
      // Each pixel's alpha in its colour lanes, 1 in its alpha lane: the
      // products (at most 255 x 255) fit 16 bits.
      const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(two, 0xFF), 0xFF);
      const __m128i weight =
          _mm_or_si128(_mm_andnot_si128(alphaLanes, alpha), _mm_and_si128(alphaLanes, ones));
      const __m128i product = _mm_mullo_epi16(two, weight);
      sum = _mm_add_epi32(
          sum, _mm_add_epi32(_mm_unpacklo_epi16(product, zero), _mm_unpackhi_epi16(product, zero)));
    }
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), sum);
}
#endif

// Shrinks an image given a row at a time: sums each 8 x 8 block's colour
// weighted by alpha, its alpha and its pixels, and at each eighth row (and
// the last) turns the row of blocks into thumbnail pixels, their means over
// white.
class Shrinker {
 public:
  void add(const uint8_t* rgba, int width) {
    if (pixels_.empty()) {
      pixels_.resize((width + kThumbnailScale - 1) / kThumbnailScale);
      sums_.resize(4 * pixels_.size());
    }
    for (int x0 = 0; x0 < width; x0 += kThumbnailScale) {
      const int end = std::min(width, x0 + kThumbnailScale);
      uint32_t* s = &sums_[4 * (x0 / kThumbnailScale)];
      pixels_[x0 / kThumbnailScale] += static_cast<uint32_t>(end - x0);
#ifdef __SSE2__
      static_assert(kThumbnailScale == 8, "eight pixels a block");
      if (end - x0 == kThumbnailScale) {
        addEightPixels(rgba + 4 * x0, s);
        continue;
      }
#endif
      uint32_t r = 0, g = 0, b = 0, a = 0;
      for (const uint8_t* p = rgba + 4 * x0; p < rgba + 4 * end; p += 4) {
        r += uint32_t{p[0]} * p[3];
        g += uint32_t{p[1]} * p[3];
        b += uint32_t{p[2]} * p[3];
        a += p[3];
      }
      s[0] += r, s[1] += g, s[2] += b, s[3] += a;
    }
    if (++rows_ % kThumbnailScale == 0) emit();
  }
  // After the last row.
  void finish() {
    if (rows_ % kThumbnailScale) emit();
  }
  const std::vector<unsigned char>& rgb() const { return rgb_; }
  int width() const { return static_cast<int>(pixels_.size()); }
  int height() const { return (rows_ + kThumbnailScale - 1) / kThumbnailScale; }

 private:
  void emit() {
    for (size_t b = 0; b < pixels_.size(); ++b) {
      const uint64_t n = pixels_[b];
      const uint32_t* s = &sums_[4 * b];
      const uint64_t white = 255 * (255 * n - s[3]);
      for (int c = 0; c < 3; ++c)
        rgb_.push_back(static_cast<unsigned char>((s[c] + white + 255 * n / 2) / (255 * n)));
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    std::fill(pixels_.begin(), pixels_.end(), 0);
  }
  std::vector<uint32_t> sums_;    // r*a, g*a, b*a, a per block: at most 64 x 255 x 255
  std::vector<uint32_t> pixels_;  // per block
  int rows_ = 0;
  std::vector<unsigned char> rgb_;
};

std::string encodeJpeg(const std::vector<unsigned char>& rgb, int width, int height) {
  jpeg_compress_struct info;
  JpegFailure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = jpegError;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::string jpeg;
  // jpeg stays untouched until the last call that may fail has returned.
  if (setjmp(failure.jump) == 0) {
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = const_cast<unsigned char*>(&rgb[size_t{info.next_scanline} * width * 3]);
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg.assign(reinterpret_cast<const char*>(buffer), size);
  }
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return jpeg;
}

Thumbnail finished(Shrinker& shrinker) {
  shrinker.finish();
  Thumbnail thumbnail;
  thumbnail.width = shrinker.width();
  thumbnail.height = shrinker.height();
  thumbnail.jpeg = encodeJpeg(shrinker.rgb(), thumbnail.width, thumbnail.height);
  if (thumbnail.jpeg.empty()) thumbnail.problem = "the thumbnail cannot be encoded";
  return thumbnail;
}

}  // namespace

Thumbnail thumbnailOfPixels(const uint8_t* rgba, int width, int height, size_t pitch) {
  Shrinker shrinker;
  for (int y = 0; y < height; ++y) shrinker.add(rgba + static_cast<size_t>(y) * pitch, width);
  return finished(shrinker);
}

Thumbnail makeThumbnail(std::FILE* file) {
  auto shrinker = std::make_unique<Shrinker>();
  const PngRows rows =
      readPngRows(file, kMaxImageSide, kMaxImagePixels,
                  [&](const uint8_t* row, int width) { shrinker->add(row, width); });
  if (rows.outcome != PngRows::Outcome::kRead) {
    Thumbnail thumbnail;
    thumbnail.problem = "the poster cannot be read: " + rows.problem;
    return thumbnail;
  }
  return finished(*shrinker);
}
