#include "batch/thumbnail.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "poster/png_reader.h"
#include "resources/image_header.h"

namespace {

constexpr int kJpegQuality = 85;
// Larger images are read by libpng a row at a time, in less memory.
constexpr int64_t kLargestOwnPng = 2160 * 3840;

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

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

// Sums of one row of blocks: per thumbnail pixel, colour weighted by alpha,
// alpha, and the number of poster pixels in the block.
struct BlockRow {
  std::vector<uint32_t> sums;  // r*a, g*a, b*a, a per block: at most 64 x 255 x 255
  std::vector<uint32_t> pixels;
  void clear() {
    std::fill(sums.begin(), sums.end(), 0);
    std::fill(pixels.begin(), pixels.end(), 0);
  }
  void add(const png_byte* rgba, int width) {
    for (int x0 = 0; x0 < width; x0 += kThumbnailScale) {
      const int end = std::min(width, x0 + kThumbnailScale);
      uint32_t r = 0, g = 0, b = 0, a = 0;
      for (const png_byte* p = rgba + 4 * x0; p < rgba + 4 * end; p += 4) {
        r += uint32_t{p[0]} * p[3];
        g += uint32_t{p[1]} * p[3];
        b += uint32_t{p[2]} * p[3];
        a += p[3];
      }
      uint32_t* s = &sums[4 * (x0 / kThumbnailScale)];
      s[0] += r, s[1] += g, s[2] += b, s[3] += a;
      pixels[x0 / kThumbnailScale] += static_cast<uint32_t>(end - x0);
    }
  }
  // Each block's mean over white, rounded.
  void emit(std::vector<unsigned char>& rgb) const {
    for (size_t b = 0; b < pixels.size(); ++b) {
      const uint64_t n = pixels[b];
      const uint32_t* s = &sums[4 * b];
      const uint64_t white = 255 * (255 * n - s[3]);
      for (int c = 0; c < 3; ++c)
        rgb.push_back(static_cast<unsigned char>((s[c] + white + 255 * n / 2) / (255 * n)));
    }
  }
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

// Reads the PNG into thumbnail pixels, rgb; false with failure.text set
// when it cannot.
bool shrinkPng(std::FILE* file, std::vector<unsigned char>& rgb, int& width, int& height,
               PngFailure& failure) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
  if (!png) {
    failure.text = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  // Made before the jump point, so that a longjmp back to it skips no
  // destructor and finds them as they were left.
  const auto row = std::make_unique<std::vector<png_byte>>();
  const auto blocks = std::make_unique<BlockRow>();
  bool done = false;
  if (info && setjmp(failure.jump) == 0) {
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)
      png_error(png, "an interlaced PNG, which postergen does not write");
    if (int64_t{w} * h > kMaxImagePixels) png_error(png, "larger than an image is read");
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    width = static_cast<int>((w + kThumbnailScale - 1) / kThumbnailScale);
    height = static_cast<int>((h + kThumbnailScale - 1) / kThumbnailScale);
    row->resize(size_t{w} * 4);
    blocks->sums.resize(size_t{4} * width);
    blocks->pixels.resize(width);
    rgb.reserve(size_t{3} * width * height);
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, row->data(), nullptr);
      blocks->add(row->data(), static_cast<int>(w));
      if ((y + 1) % kThumbnailScale == 0 || y + 1 == h) {
        blocks->emit(rgb);
        blocks->clear();
      }
    }
    done = true;
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  if (!info) failure.text = "out of memory";
  return done;
}

// Reads a poster that postergen wrote with its own reader, several times
// faster than libpng. kOtherKind when it is not one.
PngRows shrinkOwnPng(std::FILE* file, std::vector<unsigned char>& rgb) {
  BlockRow blocks;
  int y = 0;
  const PngRows read = readOwnPng(file, kLargestOwnPng, [&](const uint8_t* row, int width) {
    if (blocks.pixels.empty()) {
      blocks.sums.resize(size_t{4} * ((width + kThumbnailScale - 1) / kThumbnailScale));
      blocks.pixels.resize((width + kThumbnailScale - 1) / kThumbnailScale);
    }
    blocks.add(row, width);
    if (++y % kThumbnailScale == 0) {
      blocks.emit(rgb);
      blocks.clear();
    }
  });
  if (read.outcome == PngRows::Outcome::kRead && y % kThumbnailScale) blocks.emit(rgb);
  return read;
}

}  // namespace

Thumbnail makeThumbnail(std::FILE* file) {
  Thumbnail thumbnail;
  std::vector<unsigned char> rgb;
  const long start = std::ftell(file);
  const PngRows own = shrinkOwnPng(file, rgb);
  if (own.outcome == PngRows::Outcome::kDamaged) {
    thumbnail.problem = "the poster cannot be read: " + own.problem;
    return thumbnail;
  }
  if (own.outcome == PngRows::Outcome::kRead) {
    thumbnail.width = (own.width + kThumbnailScale - 1) / kThumbnailScale;
    thumbnail.height = (own.height + kThumbnailScale - 1) / kThumbnailScale;
  } else {
    PngFailure failure;
    rgb.clear();
    if (std::fseek(file, start, SEEK_SET) != 0 ||
        !shrinkPng(file, rgb, thumbnail.width, thumbnail.height, failure)) {
      thumbnail.problem = "the poster cannot be read: " + failure.text;
      return thumbnail;
    }
  }
  thumbnail.jpeg = encodeJpeg(rgb, thumbnail.width, thumbnail.height);
  if (thumbnail.jpeg.empty()) thumbnail.problem = "the thumbnail cannot be encoded";
  return thumbnail;
}
