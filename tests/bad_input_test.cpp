// Whatever lies in the working directory, a run makes every poster or stops
// with a clear message and status: one row per kind of bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/scratch_run.h"

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

constexpr int kStatusTooManyItems = 2;

struct BadInput {
  const char* name;
  std::function<void(const ScratchDir&)> spoil;
  int status;
  std::string logHas;        // a substring of the log, when not empty
  std::string outHas;        // a substring of standard output, when not empty
  std::vector<int> written;  // the posters written, of the two items
  const char* videoDriver = "dummy";
  long peakKibAtMost = 0;  // a bound on the run's peak memory, when not 0
};

void writeSize(const ScratchDir& dir, const std::string& content) {
  dir.write("size.txt", content);
}

std::string bytesOfLength(size_t n) {
  std::string text;
  while (text.size() < n) text += "\xE5\x9F\x8E\xE5\xB8\x82\xEF\xBC\x8C words ";
  return text.substr(0, n);
}

const BadInput kCases[] = {
    {"SizeTxtBinaryGarbage",
     [](const ScratchDir& d) { writeSize(d, "\x89\x01\xFF\x00\x7F garbage"s); },
     kStatusUnloadable,
     "Couldn't load font.ttf with size:0, information:the point size",
     "",
     {}},
    {"SizeTxtByteOrderMark",
     [](const ScratchDir& d) {
       writeSize(d,
                 "\xEF\xBB\xBF"
                 "2 48");
     },
     kStatusUnloadable,
     "Couldn't load font.ttf with size:0,",
     "",
     {}},
    {"SizeTxtTwentyDigitCount",
     [](const ScratchDir& d) { writeSize(d, "99999999999999999999 48"); },
     kStatusTooManyItems,
     "2147483647 items, but one run holds at most 1004",
     "",
     {}},
    {"SizeTxtTwentyDigitFontSize",
     [](const ScratchDir& d) { writeSize(d, "2 99999999999999999999"); },
     kStatusUnloadable,
     "with size:2147483647, information:the point size must lie between 1 and 65535",
     "",
     {}},
    {"SizeTxt1005Items",
     [](const ScratchDir& d) { writeSize(d, "1005 48"); },
     kStatusTooManyItems,
     "1005 items, but one run holds at most 1004",
     "",
     {}},
    {"FontSizeZero",
     [](const ScratchDir& d) { writeSize(d, "2 0"); },
     kStatusUnloadable,
     "with size:0, information:the point size must lie between 1 and 65535",
     "",
     {}},
    {"FontSizeNegative",
     [](const ScratchDir& d) { writeSize(d, "2 -12"); },
     kStatusUnloadable,
     "with size:-12, information:",
     "",
     {}},
    {"FontSizeVeryLarge",
     [](const ScratchDir& d) { writeSize(d, "2 40000000"); },
     kStatusUnloadable,
     "with size:40000000, information:",
     "",
     {}},
    {"FontNotAFont",
     [](const ScratchDir& d) { d.write("font.ttf", "not a font"); },
     kStatusUnloadable,
     "Couldn't load font.ttf with size:48, information:",
     "",
     {}},
    {"EmptyBackground",
     [](const ScratchDir& d) { d.write("bg.png", ""); },
     kStatusUnloadable,
     "",
     "Unsupported image format",
     {}},
    {"TruncatedJpegDecodesWhatItHas",
     [](const ScratchDir& d) {
       saveJpeg(noisySurface(400, 300, 3), d.at("city_photo2.jpeg"));
       d.write("city_photo2.jpeg", d.read("city_photo2.jpeg").substr(0, 3000));
     },
     0,
     "Warning:city_photo2.jpeg is damaged and may show only in part; libjpeg: Premature end of "
     "JPEG file",
     "",
     {1, 2}},
    {"PngWithDamagedDataIsNamed",
     [](const ScratchDir& d) {
       savePng(noisySurface(300, 300, 5), d.at("city_photo2.jpeg"));
       std::string png = d.read("city_photo2.jpeg");
       for (size_t i = png.size() / 2; i < png.size() / 2 + 64; ++i) png[i] = '\x55';
       d.write("city_photo2.jpeg", png);
     },
     kStatusUnloadable,
     "",
     "city_photo2.jpeg: ",
     {}},
#ifdef POSTERGEN_HAVE_HEIF
    {"HeicCutShortIsNamed",
     [](const ScratchDir& d) {
       saveHeif(noisySurface(300, 200, 5), d.at("city_photo2.jpeg"), false);
       d.write("city_photo2.jpeg", d.read("city_photo2.jpeg").substr(0, 600));
     },
     kStatusUnloadable,
     "",
     "city_photo2.jpeg: the HEIF header cannot be read: ",
     {}},
    {"HeicClaimingAHugeImageIsRefusedUndecoded",
     [](const ScratchDir& d) {
       saveHeif(noisySurface(300, 200, 5), d.at("city_photo1.jpeg"), false);
       std::string heic = d.read("city_photo1.jpeg");
       const size_t ispe = heic.find("ispe");
       for (size_t at : {ispe + 8, ispe + 12}) heic.replace(at, 4, "\0\0\x4E\x20", 4);  // 20000
       d.write("city_photo1.jpeg", heic);
     },
     kStatusUnloadable,
     "",
     "city_photo1.jpeg is a HEIF image of 20000 x 20000 pixels, beyond the limit",
     {}},
    {"AvifPhotographMakesItsPoster",
     [](const ScratchDir& d) {
       saveHeif(noisySurface(300, 200, 5), d.at("city_photo1.jpeg"), true);
     },
     0,
     "",
     "",
     {1, 2}},
#endif
    {"PngUnderAJpegName",
     [](const ScratchDir& d) {
       savePng(solidSurface(300, 300, {10, 200, 10, 255}), d.at("city_photo1.jpeg"));
     },
     0,
     "",
     "",
     {1, 2}},
    {"DirectoryInPlaceOfAPhotograph",
     [](const ScratchDir& d) {
       std::remove(d.at("city_photo2.jpeg").c_str());
       d.makeDirectory("city_photo2.jpeg");
     },
     kStatusUnloadable,
     "",
     "city_photo2.jpeg: the header cannot be read: Is a directory",
     {}},
    {"PngOf30000By30000",
     [](const ScratchDir& d) { d.write("city_photo1.jpeg", pngClaiming(30000, 30000)); },
     kStatusUnloadable,
     "",
     "city_photo1.jpeg is a PNG image of 30000 x 30000 pixels, beyond the limit of 268435456 "
     "pixels and 65535 pixels a side",
     {}},
    {"BackgroundOf24000By24000",
     [](const ScratchDir& d) { d.write("bg.png", pngClaiming(24000, 24000)); },
     kStatusUnloadable,
     "",
     "bg.png is a PNG image of 24000 x 24000 pixels, beyond the limit",
     {}},
    {"PngWiderThan65535",
     [](const ScratchDir& d) { d.write("city_photo2.jpeg", pngClaiming(70000, 2)); },
     kStatusUnloadable,
     "",
     "city_photo2.jpeg is a PNG image of 70000 x 2 pixels, beyond the limit",
     {}},
    {"JpegClaiming60000By60000",
     [](const ScratchDir& d) { d.write("city_photo2.jpeg", jpegClaiming(60000, 60000)); },
     kStatusUnloadable,
     "",
     "city_photo2.jpeg is a JPEG image of 60000 x 60000 pixels, beyond the limit",
     {},
     "dummy",
     200 * 1024},
    {"PhotographOf8000By6000",
     [](const ScratchDir& d) {
       saveJpeg(solidSurface(8000, 6000, {30, 90, 200, 255}), d.at("city_photo1.jpeg"));
     },
     0,
     "Saved texture as PNG to \"result1.png\"",
     "",
     {1, 2}},
    {"ImageOfAnotherFormat",
     [](const ScratchDir& d) { d.write("city_photo1.jpeg", "P6\n2 2\n255\n012345678901"); },
     kStatusUnloadable,
     "",
     "city_photo1.jpeg: Unsupported image format; postergen reads PNG, JPEG, GIF, BMP, TIFF",
     {}},
    {"PngHeaderCutShort",
     [](const ScratchDir& d) { d.write("city_photo1.jpeg", pngClaiming(40, 40).substr(0, 20)); },
     kStatusUnloadable,
     "",
     "city_photo1.jpeg: the PNG header cannot be read: ",
     {}},
    {"CaptionOf10Megabytes",
     [](const ScratchDir& d) { d.write("d2.txt", bytesOfLength(10 << 20)); },
     kStatusUnrenderable,
     "Error:d2.txt holds more than 65536 bytes, but a caption may hold at most 65536",
     "",
     {}},
    {"CaptionThatNeverEnds",
     [](const ScratchDir& d) {
       std::remove(d.at("d1.txt").c_str());
       fs::create_symlink("/dev/zero", d.at("d1.txt"));
     },
     kStatusUnrenderable,
     "Error:d1.txt holds more than 65536 bytes",
     "",
     {},
     "dummy",
     200 * 1024},
    {"CaptionInGbk",
     [](const ScratchDir& d) { d.write("d2.txt", "ab\r\n\xB3\xC7\xCA\xD0"); },
     0,
     "Warning:d2.txt is not UTF-8 (byte 4 is 0xB3) and its caption will not show as written; "
     "save it as UTF-8\nINFO: start->",
     "",
     {1, 2}},
    {"CaptionInUtf16",
     [](const ScratchDir& d) { d.write("d1.txt", "\xFF\xFEh\0i\0"s); },
     0,
     "Warning:d1.txt is UTF-16 and its caption will not show as written; save it as UTF-8",
     "",
     {1, 2}},
    {"CaptionJustWithinTheLimit",
     [](const ScratchDir& d) { d.write("d1.txt", bytesOfLength(6000)); },
     0,
     "Saved texture as PNG to \"result2.png\"",
     "",
     {1, 2}},
    {"CaptionWithInvalidUtf8",
     [](const ScratchDir& d) { d.write("d1.txt", "bad \xFF\xFE \xC3\x28 \xED\xA0\x80 end"); },
     0,
     "Warning:d1.txt is not UTF-8 (byte 4 is 0xFF)",
     "",
     {1, 2}},
    {"CaptionWithCharactersTheFontLacks",
     [](const ScratchDir& d) {
       d.write("d2.txt", "Party \xF0\x9F\x8E\x89 in \xE5\x9F\x8E\xE5\x9F\x8E \xF0\x9F\x8E\x89\n");
     },
     0,
     "Warning:d2.txt has 4 characters that font.ttf lacks, drawn as boxes or not at all: "
     "U+1F389 U+57CE\n",
     "",
     {1, 2}},
    {"CaptionMixingRightToLeftWithLeftToRight",
     [](const ScratchDir& d) { d.write("d1.txt", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D world"); },
     0,
     "Warning:d1.txt mixes right-to-left text with left-to-right text or numbers",
     "",
     {1, 2}},
    {"CaptionTooSmallToRead",
     [](const ScratchDir& d) {
       writeSize(d, "2 12");
       d.write("d2.txt", std::string(130, 'w'));
     },
     0,
     "Warning:d2.txt prints its lines 17 px high on the poster, too small to read (under 32 px)",
     "",
     {1, 2}},
    {"CaptionOfSpacesOnly",
     [](const ScratchDir& d) { d.write("d2.txt", "     "); },
     0,
     "",
     "",
     {1, 2}},
    {"CaptionOfLineFeedsOnly",
     [](const ScratchDir& d) { d.write("d2.txt", "\n\n\n"); },
     0,
     "",
     "",
     {1, 2}},
    {"PhotographWiderThanTheSoftwareRendererEverNeeds",
     [](const ScratchDir& d) {
       saveJpeg(solidSurface(16385, 8, {10, 10, 200, 255}), d.at("city_photo1.jpeg"));
     },
     0,
     "",
     "",
     {1, 2}},
    {"PhotographWiderThanOpenGlTexturesGo",
     [](const ScratchDir& d) {
       saveJpeg(solidSurface(16385, 8, {10, 10, 200, 255}), d.at("city_photo1.jpeg"));
     },
     0,
     "",
     "",
     {1, 2},
     ""},
    {"OutputNameBlockedByADirectory",
     [](const ScratchDir& d) { d.makeDirectory("result1.png"); },
     0,
     "Failed saving image: ",
     "",
     {2}},
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

class BadInputTable : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputTable, EndsWithItsStatusMessageAndFiles) {
  const BadInput& c = GetParam();
  ScratchDir dir;
  dir.populate(2);
  c.spoil(dir);
  std::map<std::string, std::string> env;
  if (*c.videoDriver) env["SDL_VIDEODRIVER"] = c.videoDriver;
  const RunResult run = dir.run(env);
  EXPECT_EQ(run.status, c.status) << run.out << "\n" << run.log.substr(0, 2000);
  if (!c.logHas.empty()) {
    EXPECT_THAT(run.log, testing::HasSubstr(c.logHas));
  }
  if (c.peakKibAtMost) {
    EXPECT_LE(run.peakKib, c.peakKibAtMost);
  }
  if (c.outHas.empty()) {
    EXPECT_EQ(run.out, "");
  } else {
    EXPECT_THAT(run.out, testing::HasSubstr(c.outHas));
  }
  for (int i = 1; i <= 2; ++i) {
    const std::string name = "result" + std::to_string(i) + ".png";
    Surface poster = loadRgba(dir.at(name));
    const bool written = std::find(c.written.begin(), c.written.end(), i) != c.written.end();
    ASSERT_EQ(poster != nullptr, written) << name;
    if (written) {
      EXPECT_EQ(poster->w, 2160);
      EXPECT_EQ(poster->h, 3840);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WorkingDirectory, BadInputTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BadInput>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
