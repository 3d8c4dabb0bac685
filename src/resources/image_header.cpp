#include "resources/image_header.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>
#ifdef POSTERGEN_HAVE_HEIF
#include <libheif/heif.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Outcome = ImageHeader::Outcome;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

ImageHeader unreadable(const char* format, std::string problem) {
  ImageHeader header;
  header.outcome = Outcome::kUnreadable;
  header.format = format;
  header.problem = std::move(problem);
  return header;
}

ImageHeader sized(const char* format, int64_t width, int64_t height) {
  if (width < 1 || height < 1)
    return unreadable(format, "the header gives a size of " + std::to_string(width) + " x " +
                                  std::to_string(height) + " pixels");
  ImageHeader header;
  header.outcome = Outcome::kRead;
  header.format = format;
  header.width = width;
  header.height = height;
  return header;
}

unsigned le16(const unsigned char* p) { return p[0] | p[1] << 8; }
int64_t le32(const unsigned char* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

// --- PNG, through libpng -------------------------------------------------

struct PngFailure {
  std::jmp_buf jump;
  std::string message;
};

ImageHeader pngHeader(std::FILE* file) {
  PngFailure failure;
  png_structp png = png_create_read_struct(
      PNG_LIBPNG_VER_STRING, &failure,
      [](png_structp p, png_const_charp message) {
        auto* f = static_cast<PngFailure*>(png_get_error_ptr(p));
        f->message = message;
        std::longjmp(f->jump, 1);
      },
      [](png_structp, png_const_charp) {});
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return unreadable("PNG", "out of memory");
  }
  // libpng's own size limit (a million pixels a side) is lifted: the
  // decode limits are applied, with one message, by the caller.
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  ImageHeader header;
  if (setjmp(failure.jump) == 0) {
    png_init_io(png, file);
    png_read_info(png, info);
    header = sized("PNG", png_get_image_width(png, info), png_get_image_height(png, info));
  } else {
    header = unreadable("PNG", failure.message);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return header;
}

// --- JPEG, through libjpeg ----------------------------------------------

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

ImageHeader jpegHeader(std::FILE* file) {
  jpeg_decompress_struct cinfo;
  JpegFailure failure;
  cinfo.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1);
  };
  failure.manager.emit_message = [](j_common_ptr, int) {};
  ImageHeader header;
  if (setjmp(failure.jump) == 0) {
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    header = sized("JPEG", cinfo.image_width, cinfo.image_height);
  } else {
    char message[JMSG_LENGTH_MAX];
    failure.manager.format_message(reinterpret_cast<j_common_ptr>(&cinfo), message);
    header = unreadable("JPEG", message);
  }
  jpeg_destroy_decompress(&cinfo);
  return header;
}

// --- TIFF, through libtiff over the open file ----------------------------

std::string tiffMessage;

void keepTiffMessage(const char*, const char* format, va_list args) {
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  tiffMessage = text;
}

ImageHeader tiffHeader(std::FILE* file) {
  auto read = [](thandle_t f, tdata_t data, tmsize_t size) -> tmsize_t {
    return static_cast<tmsize_t>(std::fread(data, 1, size, static_cast<std::FILE*>(f)));
  };
  auto write = [](thandle_t, tdata_t, tmsize_t) -> tmsize_t { return 0; };
  auto seek = [](thandle_t f, toff_t offset, int whence) -> toff_t {
    auto* file = static_cast<std::FILE*>(f);
    if (offset > 0x7fffffff || std::fseek(file, static_cast<long>(offset), whence) != 0)
      return static_cast<toff_t>(-1);
    return static_cast<toff_t>(std::ftell(file));
  };
  auto close = [](thandle_t) { return 0; };
  auto size = [](thandle_t f) -> toff_t {
    auto* file = static_cast<std::FILE*>(f);
    const long at = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    std::fseek(file, at, SEEK_SET);
    return static_cast<toff_t>(end);
  };
  auto map = [](thandle_t, tdata_t*, toff_t*) { return 0; };
  auto unmap = [](thandle_t, tdata_t, toff_t) {};
  const TIFFErrorHandler errors = TIFFSetErrorHandler(keepTiffMessage);
  const TIFFErrorHandler warnings = TIFFSetWarningHandler(nullptr);
  tiffMessage = "not a TIFF file";
  TIFF* tiff = TIFFClientOpen("image", "rm", file, read, write, seek, close, size, map, unmap);
  ImageHeader header = unreadable("TIFF", tiffMessage);
  uint32_t width = 0;
  uint32_t height = 0;
  if (tiff) {
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) == 1 &&
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) == 1) {
      header = sized("TIFF", width, height);
    } else {
      header = unreadable("TIFF", "no image width or length");
    }
    TIFFClose(tiff);
  }
  TIFFSetErrorHandler(errors);
  TIFFSetWarningHandler(warnings);
  return header;
}

// --- WebP, through libwebp, from the start of the file --------------------

ImageHeader webpHeader(std::FILE* file) {
  // The RIFF header and the first chunk's frame or canvas header lie within
  // the first few dozen bytes.
  std::vector<uint8_t> start(4096);
  start.resize(std::fread(start.data(), 1, start.size(), file));
  int width = 0;
  int height = 0;
  if (!WebPGetInfo(start.data(), start.size(), &width, &height))
    return unreadable("WebP", "the WebP header is damaged or incomplete");
  return sized("WebP", width, height);
}

// --- GIF: the logical screen and the first frame --------------------------

// A decoder sizes its picture by the first frame, which may be larger than
// the logical screen, so both are read.
ImageHeader gifHeader(std::FILE* file) {
  unsigned char screen[13];
  if (std::fread(screen, 1, sizeof screen, file) != sizeof screen)
    return unreadable("GIF", "the GIF header is incomplete");
  if (screen[10] & 0x80) std::fseek(file, 3L << ((screen[10] & 7) + 1), SEEK_CUR);
  for (int c; (c = std::fgetc(file)) != EOF;) {
    if (c == 0x2C) {
      unsigned char frame[8];
      if (std::fread(frame, 1, sizeof frame, file) != sizeof frame) break;
      return sized("GIF", std::max(le16(screen + 6), le16(frame + 4)),
                   std::max(le16(screen + 8), le16(frame + 6)));
    }
    if (c != 0x21 || std::fgetc(file) == EOF) break;  // an extension: label, then sub-blocks
    for (int length; (length = std::fgetc(file)) > 0;) std::fseek(file, length, SEEK_CUR);
  }
  return unreadable("GIF", "the GIF file holds no complete frame header");
}

// --- BMP: the bitmap header -----------------------------------------------

ImageHeader bmpHeader(std::FILE* file) {
  unsigned char header[26];
  if (std::fread(header, 1, sizeof header, file) != sizeof header)
    return unreadable("BMP", "the BMP header is incomplete");
  if (le32(header + 14) == 12) return sized("BMP", le16(header + 18), le16(header + 20));
  // A negative height marks rows stored top to bottom.
  const int64_t height = le32(header + 22);
  return sized("BMP", le32(header + 18), height < 0 ? -height : height);
}

#ifdef POSTERGEN_HAVE_HEIF
// --- HEIF and AVIF, through libheif, which reads only the boxes ------------

int64_t be32(const unsigned char* p) {
  return int64_t{p[0]} << 24 | int64_t{p[1]} << 16 | int64_t{p[2]} << 8 | p[3];
}

// The brands of the file's ftyp box say which it is: AVIF for avif and
// avis, HEIF for HEVC's brands and the generic mif1 and msf1.
const char* heifFormatOf(std::FILE* file) {
  unsigned char box[256];
  const size_t n = std::fread(box, 1, sizeof box, file);
  if (n < 16 || std::memcmp(box + 4, "ftyp", 4) != 0) return nullptr;
  const size_t size = std::min<size_t>(n, static_cast<size_t>(be32(box)));
  bool heif = false;
  for (size_t at = 8; at + 4 <= size; at += at == 8 ? 8 : 4) {  // skips the minor version
    const std::string brand(reinterpret_cast<const char*>(box + at), 4);
    if (brand == "avif" || brand == "avis") return "AVIF";
    if (brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis" ||
        brand == "hevc" || brand == "hevx" || brand == "mif1" || brand == "msf1")
      heif = true;
  }
  return heif ? "HEIF" : nullptr;
}

int64_t readerPosition(void* file) { return std::ftell(static_cast<std::FILE*>(file)); }
int readerRead(void* data, size_t size, void* file) {
  return std::fread(data, 1, size, static_cast<std::FILE*>(file)) == size ? 0 : -1;
}
int readerSeek(int64_t position, void* file) {
  return std::fseek(static_cast<std::FILE*>(file), static_cast<long>(position), SEEK_SET);
}
heif_reader_grow_status readerGrow(int64_t target, void* userdata) {
  std::FILE* file = static_cast<std::FILE*>(userdata);
  const long at = std::ftell(file);
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, at, SEEK_SET);
  return target <= size ? heif_reader_grow_status_size_reached
                        : heif_reader_grow_status_size_beyond_eof;
}

// The primary image's size as coded (ispe), before its rotation.
ImageHeader heifHeader(std::FILE* file) {
  const char* format = heifFormatOf(file);
  if (!format) return unreadable("HEIF", "the HEIF file type box is damaged");
  std::rewind(file);
  static const heif_reader reader{1, readerPosition, readerRead, readerSeek, readerGrow};
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                 heif_context_free);
  heif_error error = heif_context_read_from_reader(context.get(), &reader, file, nullptr);
  heif_image_handle* handle = nullptr;
  if (error.code == heif_error_Ok)
    error = heif_context_get_primary_image_handle(context.get(), &handle);
  if (error.code != heif_error_Ok) return unreadable(format, error.message);
  const int64_t width = heif_image_handle_get_ispe_width(handle);
  const int64_t height = heif_image_handle_get_ispe_height(handle);
  heif_image_handle_release(handle);
  return sized(format, width, height);
}
#endif

// The signatures image loaders recognise these formats by.
const char* formatOf(const unsigned char* magic, size_t n) {
  auto starts = [&](const char* sig, size_t at = 0) {
    const size_t len = std::strlen(sig);
    return n >= at + len && std::memcmp(magic + at, sig, len) == 0;
  };
  if (starts("\x89PNG")) return "PNG";
  if (n >= 2 && magic[0] == 0xFF && magic[1] == 0xD8) return "JPEG";
  if (starts("GIF87a") || starts("GIF89a")) return "GIF";
  if (starts("BM")) return "BMP";
  if (starts("II*") && n >= 4 && magic[3] == 0) return "TIFF";
  if (n >= 4 && starts("MM") && magic[2] == 0 && magic[3] == '*') return "TIFF";
  if (starts("RIFF") && starts("WEBP", 8) && starts("VP8", 12)) return "WebP";
#ifdef POSTERGEN_HAVE_HEIF
  if (starts("ftyp", 4)) return "HEIF";  // or AVIF, which its brands tell
#endif
  return nullptr;
}

}  // namespace

ImageHeader readImageHeader(std::FILE* file) {
  unsigned char magic[16];
  std::rewind(file);
  const size_t n = std::fread(magic, 1, sizeof magic, file);
  if (n == 0 && std::ferror(file)) return unreadable("", std::strerror(errno));
  const char* format = formatOf(magic, n);
  ImageHeader header;
  if (!format) {
    header.outcome = Outcome::kUnknownFormat;
    return header;
  }
  std::rewind(file);
  const std::string name = format;
  if (name == "PNG") return pngHeader(file);
  if (name == "JPEG") return jpegHeader(file);
  if (name == "GIF") return gifHeader(file);
  if (name == "BMP") return bmpHeader(file);
  if (name == "TIFF") return tiffHeader(file);
#ifdef POSTERGEN_HAVE_HEIF
  if (name == "HEIF") return heifHeader(file);
#endif
  return webpHeader(file);
}

ImageHeader readImageHeader(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    ImageHeader header;
    header.problem = std::strerror(errno);
    return header;
  }
  return readImageHeader(file.get());
}

bool withinDecodeLimits(const ImageHeader& header) {
  return header.width <= kMaxImageSide && header.height <= kMaxImageSide &&
         header.width * header.height <= kMaxImagePixels;
}

std::string imageRefusal(const std::string& path, const ImageHeader& header) {
  using Outcome = ImageHeader::Outcome;
  switch (header.outcome) {
    case Outcome::kUnopenable: return "";
    case Outcome::kUnknownFormat:
      return path + ": Unsupported image format; postergen reads " + kImageFormatList + " images";
    case Outcome::kUnreadable:
      return path + ": the " + header.format + (*header.format ? " " : "") +
             "header cannot be read: " + header.problem;
    case Outcome::kRead: break;
  }
  if (withinDecodeLimits(header)) return "";
  return path + " is a " + header.format + " image of " + std::to_string(header.width) + " x " +
         std::to_string(header.height) + " pixels, beyond the limit of " +
         std::to_string(kMaxImagePixels) + " pixels and " + std::to_string(kMaxImageSide) +
         " pixels a side";
}
