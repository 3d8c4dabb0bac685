// Reads an image file's format, width and height from its header, without
// decoding a pixel, so that an image too large to decode safely can be
// refused before a decoder allocates memory for it. Needs no SDL.
#ifndef POSTERGEN_RESOURCES_IMAGE_HEADER_H_
#define POSTERGEN_RESOURCES_IMAGE_HEADER_H_

#include <cstdint>
#include <cstdio>
#include <string>

// The formats read, named as in messages, in the order they are listed.
#ifdef POSTERGEN_HAVE_HEIF
constexpr const char* kImageFormatList = "PNG, JPEG, GIF, BMP, TIFF, WebP, HEIF and AVIF";
#else
constexpr const char* kImageFormatList = "PNG, JPEG, GIF, BMP, TIFF and WebP";
#endif

// The largest image decoded: 2^28 pixels (1 GiB at 4 bytes a pixel), and
// no side over 65535.
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;
constexpr int64_t kMaxImageSide = 65535;

struct ImageHeader {
  enum class Outcome {
    kRead,           // format, width and height are known
    kUnopenable,     // the file cannot be opened
    kUnknownFormat,  // the content is none of kImageFormatList
    kUnreadable,     // a known format whose header is damaged, truncated or lies
  };
  Outcome outcome = Outcome::kUnopenable;
  const char* format = "";  // "PNG", "JPEG", ... once the signature is known
  int64_t width = 0;
  int64_t height = 0;
  std::string problem;  // why the header could not be read
};

// Recognises the format by content, as image loaders do (the file name's
// extension plays no part), and reads the header with the format's own
// library (libpng, libjpeg, libtiff, libwebp) or, for GIF and BMP, directly.
ImageHeader readImageHeader(const std::string& path);
// The same from an open file, read from its current position.
ImageHeader readImageHeader(std::FILE* file);

// True when the image is within kMaxImagePixels and kMaxImageSide.
bool withinDecodeLimits(const ImageHeader& header);

// Why the image at path, whose header this is, is not decoded: an unknown
// format, a damaged header or a size beyond the limits, in words that name
// the file. Empty when it may be decoded, or when the file cannot be opened
// (the decoder reports that itself).
std::string imageRefusal(const std::string& path, const ImageHeader& header);

#endif  // POSTERGEN_RESOURCES_IMAGE_HEADER_H_
