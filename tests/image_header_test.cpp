#include "resources/image_header.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/scratch_run.h"

namespace {

using namespace std::string_literals;
using Outcome = ImageHeader::Outcome;

std::string le16(unsigned v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

std::string gif(unsigned screenW, unsigned screenH, unsigned frameW, unsigned frameH) {
  return "GIF89a" + le16(screenW) + le16(screenH) + "\x80\0\0"s + std::string(6, '\0') +
         "\x21\xF9\x04\0\0\0\0\0"s + "\x2C" + le16(0) + le16(0) + le16(frameW) + le16(frameH) +
         "\0"s;
}

std::string bmp(int32_t w, int32_t h) {
  return "BM" + std::string(12, '\0') + le32(40) + le32(w) + le32(static_cast<uint32_t>(h)) +
         std::string(28, '\0');
}

// Little-endian TIFF with one IFD: ImageWidth, ImageLength and the strip
// fields libtiff requires.
std::string tiff(uint32_t w, uint32_t h, uint32_t ifdAt = 8) {
  auto entry = [](unsigned tag, uint32_t value) {
    return le16(tag) + le16(4) + le32(1) + le32(value);
  };
  return "II*\0"s + le32(ifdAt) + le16(4) + entry(256, w) + entry(257, h) + entry(273, 8) +
         entry(279, 1) + le32(0);
}

// A lossless WebP: the frame header packs width - 1 and height - 1 in 14
// bits each.
std::string webp(unsigned w, unsigned h) {
  const uint32_t bits = (w - 1) | (h - 1) << 14;
  const std::string frame = "\x2F" + le32(bits) + std::string(7, '\0');
  return "RIFF" + le32(static_cast<uint32_t>(frame.size() + 12)) + "WEBPVP8L" +
         le32(static_cast<uint32_t>(frame.size())) + frame;
}

struct HeaderCase {
  const char* what;
  std::string bytes;
  Outcome outcome;
  std::string format;
  int64_t width, height;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }

class HeaderTable : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTable, GivesTheSizeOrSaysWhyNot) {
  const HeaderCase& c = GetParam();
  ScratchDir dir;
  dir.write("image", c.bytes);
  const ImageHeader header = readImageHeader(dir.at("image"));
  EXPECT_EQ(header.outcome, c.outcome) << c.what << ": " << header.problem;
  EXPECT_EQ(header.format, c.format) << c.what;
  EXPECT_EQ(header.width, c.width) << c.what;
  EXPECT_EQ(header.height, c.height) << c.what;
  if (c.outcome == Outcome::kUnreadable) {
    EXPECT_NE(header.problem, "") << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, HeaderTable,
    testing::Values(
        HeaderCase{"PNG", pngClaiming(640, 480), Outcome::kRead, "PNG", 640, 480},
        HeaderCase{"PNG claiming 2^31-1 a side", pngClaiming(0x7fffffff, 1), Outcome::kRead, "PNG",
                   0x7fffffff, 1},
        HeaderCase{"PNG cut inside IHDR", pngClaiming(640, 480).substr(0, 20), Outcome::kUnreadable,
                   "PNG", 0, 0},
        HeaderCase{"PNG claiming width 0", pngClaiming(0, 480), Outcome::kUnreadable, "PNG", 0, 0},
        HeaderCase{"JPEG", jpegClaiming(4000, 3000), Outcome::kRead, "JPEG", 4000, 3000},
        HeaderCase{"JPEG cut before its frame header", jpegClaiming(40, 30).substr(0, 30),
                   Outcome::kUnreadable, "JPEG", 0, 0},
        HeaderCase{"JPEG claiming height 0", jpegClaiming(40, 0), Outcome::kUnreadable, "JPEG", 0,
                   0},
        HeaderCase{"GIF sized by its screen", gif(300, 200, 10, 10), Outcome::kRead, "GIF", 300,
                   200},
        HeaderCase{"GIF whose frame is larger than its screen", gif(1, 1, 65535, 65535),
                   Outcome::kRead, "GIF", 65535, 65535},
        HeaderCase{"GIF without a frame", gif(300, 200, 1, 1).substr(0, 30), Outcome::kUnreadable,
                   "GIF", 0, 0},
        HeaderCase{"BMP stored bottom up", bmp(320, 240), Outcome::kRead, "BMP", 320, 240},
        HeaderCase{"BMP stored top down", bmp(320, -240), Outcome::kRead, "BMP", 320, 240},
        HeaderCase{"BMP with a negative width", bmp(-5, 240), Outcome::kUnreadable, "BMP", 0, 0},
        HeaderCase{"BMP cut short", bmp(320, 240).substr(0, 20), Outcome::kUnreadable, "BMP", 0, 0},
        HeaderCase{"TIFF", tiff(5000, 4000), Outcome::kRead, "TIFF", 5000, 4000},
        HeaderCase{"TIFF whose directory lies past its end", tiff(50, 40, 4000),
                   Outcome::kUnreadable, "TIFF", 0, 0},
        HeaderCase{"WebP", webp(1024, 768), Outcome::kRead, "WebP", 1024, 768},
        HeaderCase{"WebP cut short", webp(1024, 768).substr(0, 22), Outcome::kUnreadable, "WebP", 0,
                   0},
        HeaderCase{"PPM, a format not read", "P6\n2 2\n255\n", Outcome::kUnknownFormat, "", 0, 0},
        HeaderCase{"empty file", "", Outcome::kUnknownFormat, "", 0, 0}));

TEST(ImageHeader, MissingFileCannotBeOpened) {
  const ImageHeader header = readImageHeader("/nonexistent/city_photo1.jpeg");
  EXPECT_EQ(header.outcome, Outcome::kUnopenable);
  EXPECT_EQ(header.problem, "No such file or directory");
}

TEST(ImageHeader, DecodeLimitsBoundPixelsAndSides) {
  auto sized = [](int64_t w, int64_t h) {
    ImageHeader header;
    header.width = w;
    header.height = h;
    return withinDecodeLimits(header);
  };
  EXPECT_TRUE(sized(8000, 6000));
  EXPECT_TRUE(sized(16384, 16384));  // exactly 2^28 pixels
  EXPECT_FALSE(sized(16385, 16384));
  EXPECT_TRUE(sized(65535, 4096));
  EXPECT_FALSE(sized(65536, 1));
  EXPECT_FALSE(sized(1, 65536));
}

}  // namespace
