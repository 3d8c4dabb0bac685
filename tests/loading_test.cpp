// End-to-end runs of input loading: captions, background and photographs,
// and the order in which shut-down releases what was loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/scratch_run.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

TEST(Loading, CaptionWithFormatDirectivesIsLoggedVerbatim) {
  ScratchDir dir;
  dir.populate(1);
  dir.write("d1.txt", "%s %d %n 100%");
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(),
              testing::IsSupersetOf({"start->%s %d %n 100%", "end->%s %d %n 100%"}));
}

TEST(Loading, CaptionIsLoggedAsReadAndAfterSpacing) {
  ScratchDir dir;
  dir.populate(1);
  dir.write("d1.txt",
            "A\xEF\xBC\x8C"
            "B\xE3\x80\x82");
  const RunResult run = dir.run();
  EXPECT_THAT(linesStartingWith(run.logLines(), "start->"), ElementsAre("start->A\xEF\xBC\x8C"
                                                                        "B\xE3\x80\x82"));
  EXPECT_THAT(linesStartingWith(run.logLines(), "end->"),
              ElementsAre("end->A\xEF\xBC\x8C B\xE3\x80\x82 "));
}

TEST(Loading, MissingBackgroundEndsTheRunWithSdlsTextAloneOnStandardOutput) {
  ScratchDir dir;
  dir.populate(2);
  std::remove(dir.at("bg.png").c_str());
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, kStatusUnloadable);
  EXPECT_EQ(run.log.find("start->"), std::string::npos);
  EXPECT_THAT(run.out, HasSubstr("bg.png"));
  EXPECT_EQ(run.out.find('\n'), std::string::npos) << run.out;
  EXPECT_FALSE(dir.exists("result1.png"));
}

// Photographs are decoded ahead on worker threads when there are CPUs for
// them, yet the log and the outcome are those of loading one by one: a
// photograph's warning follows its caption, and the first bad photograph
// in item order ends the run, however many come after it.
class LoadingOnCpus : public testing::TestWithParam<bool> {};

TEST_P(LoadingOnCpus, BadThirdPhotographStopsAfterItsCaptionBeforeAnyPoster) {
  ScratchDir dir;
  dir.populate(5);
  saveJpeg(noisySurface(402, 300, 3), dir.at("city_photo2.jpeg"));
  dir.write("city_photo2.jpeg", dir.read("city_photo2.jpeg").substr(0, 3000));
  std::remove(dir.at("city_photo3.jpeg").c_str());
  dir.write("city_photo5.jpeg", "not an image");
  std::vector<std::string> trace;
  const RunResult run =
      dir.runTraced(trace, GetParam() ? std::map<std::string, std::string>{{kOneCpu, ""}}
                                      : std::map<std::string, std::string>{});
  EXPECT_EQ(run.status, kStatusUnloadable);
  EXPECT_EQ(run.out, "Couldn't open city_photo3.jpeg");
  EXPECT_THAT(
      run.logLines(),
      ElementsAre("start->Caption 1", "end->Caption 1", "start->Caption 2", "end->Caption 2",
                  "Warning:city_photo2.jpeg is damaged and may show only in part; "
                  "libjpeg: Premature end of JPEG file (and 1 more)",
                  "start->Caption 3", "end->Caption 3"));
  // Background, canvas, then photographs 1 and 2 (401 and 402 wide).
  EXPECT_THAT(
      linesStartingWith(trace, "create"),
      ElementsAre("create 1080x1920", "create 2160x3840", "create 401x300", "create 402x300"));
  for (int i = 1; i <= 5; ++i) EXPECT_FALSE(dir.exists("result" + std::to_string(i) + ".png"));
}

// The header check, the decoding, the colour profile and the orientation
// read one open file, so that none put in its place between them is decoded
// unchecked: JPEG, PNG (under a photograph's name) and HEIF alike.
TEST_P(LoadingOnCpus, EachImageIsOpenedOnce) {
  ScratchDir dir;
  dir.populate(3);
  savePng(noisySurface(402, 300, 2), dir.at("city_photo2.jpeg"));
#ifdef POSTERGEN_HAVE_HEIF
  saveHeif(noisySurface(403, 300, 3), dir.at("city_photo3.jpeg"), false);
#endif
  std::vector<std::string> trace;
  const RunResult run =
      dir.runTraced(trace, GetParam() ? std::map<std::string, std::string>{{kOneCpu, ""}}
                                      : std::map<std::string, std::string>{});
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  for (const std::string name :
       {"bg.png", "city_photo1.jpeg", "city_photo2.jpeg", "city_photo3.jpeg"})
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "open " + name), 1) << name;
}

INSTANTIATE_TEST_SUITE_P(Loading, LoadingOnCpus, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "OneCpu" : "EveryCpu";
                         });

TEST(Loading, ImageThatCannotBecomeATextureEndsTheRunWithSdlsTextVerbatim) {
  ScratchDir dir;
  dir.populate(2);
  std::vector<std::string> trace;
  // The first photograph's texture: after the background's.
  const RunResult run = dir.runTraced(trace, {{"POSTERGEN_FAIL", "SDL_CreateTextureFromSurface:2"},
                                              {"POSTERGEN_FAIL_TEXT", "100% sure: %s %d %n"}});
  EXPECT_EQ(run.status, kStatusUnrenderable);
  EXPECT_EQ(run.out, "100% sure: %s %d %n");
  EXPECT_THAT(linesStartingWith(run.logLines(), "start->"), ElementsAre("start->Caption 1"));
  EXPECT_FALSE(dir.exists("result1.png"));
}

TEST(Loading, FileThatIsNotAnImageEndsTheRunLikeAMissingOne) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("city_photo2.jpeg", "this is not a picture\n");
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, kStatusUnloadable);
  EXPECT_NE(run.out, "");
  EXPECT_FALSE(dir.exists("result1.png"));
}

// Four colour patches, as a photograph's quadrants.
const Rgba kPatches[4] = {
    {200, 30, 30, 255}, {30, 160, 60, 255}, {30, 60, 200, 255}, {230, 200, 40, 255}};

using PatchWriter = std::function<void(const ScratchDir&, const Surface&)>;

struct ColourCase {
  const char* name;
  PatchWriter write;        // writes the patches into the working directory
  std::string logHas = "";  // a substring of the log, or "" for no warning at all
  bool background = false;  // the patches are the background, not the photograph
  int tolerance = 4;        // levels per channel
};

PatchWriter photographAs(JpegKind kind, const std::string& profile = "") {
  return [=](const ScratchDir& d, const Surface& s) {
    const Surface stored =
        profile.empty() ? Surface(SDL_DuplicateSurface(s.get())) : inProfile(s, profile);
    saveJpegAs(stored, d.at("city_photo1.jpeg"), kind, "", profile);
  };
}

PatchWriter pngInAdobeRgb(const char* name) {
  return [=](const ScratchDir& d, const Surface& s) {
    savePng(inProfile(s, adobeRgbProfile()), d.at(name));
    d.write(name, withIccpChunk(d.read(name), adobeRgbProfile()));
  };
}

const ColourCase kColourCases[] = {
    {"Grayscale", photographAs(JpegKind::kGrayscale)},
    {"Progressive", photographAs(JpegKind::kProgressive)},
    {"CmykWithAdobesMarker", photographAs(JpegKind::kCmyk)},
    {"CmykWithoutAdobesMarker", photographAs(JpegKind::kCmykPlain)},
    {"Ycck", photographAs(JpegKind::kYcck)},
    {"CmykThroughItsProfile",
     [](const ScratchDir& d, const Surface& s) {
       // Written with red and blue swapped, which the profile swaps back.
       Surface swapped(SDL_ConvertSurfaceFormat(s.get(), SDL_PIXELFORMAT_BGRA32, 0));
       saveJpegAs(
           Surface(SDL_CreateRGBSurfaceWithFormatFrom(swapped->pixels, swapped->w, swapped->h, 32,
                                                      swapped->pitch, SDL_PIXELFORMAT_RGBA32)),
           d.at("city_photo1.jpeg"), JpegKind::kCmyk, "", cmykProfileSwappingRedAndBlue());
     },
     "", false, 8},  // the profile's table is coarse
    {"JpegInAdobeRgb", photographAs(JpegKind::kBaseline, adobeRgbProfile())},
    {"PngInAdobeRgb", pngInAdobeRgb("city_photo1.jpeg")},
    {"BackgroundInAdobeRgb", pngInAdobeRgb("bg.png"), "", true},
#ifdef POSTERGEN_HAVE_HEIF
    {"HeicInAdobeRgb",
     [](const ScratchDir& d, const Surface& s) {
       saveHeif(inProfile(s, adobeRgbProfile()), d.at("city_photo1.jpeg"), false, 1, 0,
                adobeRgbProfile());
     },
     "", false, 8},  // lossy, its chroma halved
    {"HeicInDisplayP3",
     [](const ScratchDir& d, const Surface& s) {
       saveHeif(inProfile(s, displayP3Profile()), d.at("city_photo1.jpeg"), false, 1, 0, "", 12);
     },
     "", false, 8},
    {"HeicOf10BitSamples",
     [](const ScratchDir& d, const Surface& s) {
       saveHeif(s, d.at("city_photo1.jpeg"), false, 1, 0, "", 0, 10);
     },
     "", false, 8},
    {"AvifInDisplayP3",
     [](const ScratchDir& d, const Surface& s) {
       saveHeif(inProfile(s, displayP3Profile()), d.at("city_photo1.jpeg"), true, 1, 0, "", 12);
     },
     "", false, 8},
#endif
    {"UnreadableProfile",
     [](const ScratchDir& d, const Surface& s) {
       saveJpegAs(s, d.at("city_photo1.jpeg"), JpegKind::kBaseline, "", "not a profile");
     },
     "Warning:city_photo1.jpeg has a colour profile that cannot be read; its colours are used "
     "as decoded"},
    {"UnreadablePngProfile",
     [](const ScratchDir& d, const Surface& s) {
       savePng(s, d.at("bg.png"));
       d.write("bg.png", withIccpChunk(d.read("bg.png"), std::string(200, 'x')));
     },
     "Warning:bg.png has a colour profile that cannot be read", true},
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class ColourTable : public testing::TestWithParam<ColourCase> {};

// Whatever the encoding, the patches print in their sRGB colours.
TEST_P(ColourTable, PatchesPrintInTheirColours) {
  const ColourCase& c = GetParam();
  ScratchDir dir;
  dir.populate(1);
  c.write(dir, quadrantSurface(400, 400, kPatches));
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  if (c.logHas.empty()) {
    EXPECT_THAT(run.logLines(), testing::Not(testing::Contains(testing::StartsWith("Warning:"))));
  } else {
    EXPECT_THAT(run.log, HasSubstr(c.logHas));
  }
  Surface poster = loadRgba(dir.at("result1.png"));
  ASSERT_TRUE(poster);
  for (int q = 0; q < 4; ++q) {
    // A square photograph fills its whole box; the background the poster.
    const SDL_Rect box = c.background ? SDL_Rect{0, 0, 2160, 3840} : SDL_Rect{443, 711, 1292, 1292};
    const int x = box.x + box.w / 4 + (q % 2) * box.w / 2;
    const int y = box.y + box.h / 8 + (q / 2) * box.h / 2;
    Rgba want = kPatches[q];
    if (std::string(c.name) == "Grayscale") {
      const int grey = (want.r * 299 + want.g * 587 + want.b * 114) / 1000;
      want = {grey, grey, grey, 255};
    }
    const Rgba seen = pixelAt(poster, x, y);
    EXPECT_TRUE(near(seen, want, c.tolerance)) << "patch " << q << ": " << describe(seen);
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, ColourTable, testing::ValuesIn(kColourCases),
                         [](const testing::TestParamInfo<ColourCase>& info) {
                           return std::string(info.param.name);
                         });

// An sRGB profile changes nothing: the photograph prints as one without.
TEST(Loading, PhotographWithAnSrgbProfilePrintsAsOneWithout) {
  ScratchDir dir;
  dir.populate(2);
  const Surface photo = noisySurface(300, 300, 7);
  saveJpegAs(photo, dir.at("city_photo1.jpeg"), JpegKind::kBaseline, "", srgbProfile());
  saveJpegAs(photo, dir.at("city_photo2.jpeg"), JpegKind::kBaseline);
  ASSERT_EQ(dir.run().status, 0);
  Surface first = loadRgba(dir.at("result1.png"));
  Surface second = loadRgba(dir.at("result2.png"));
  ASSERT_TRUE(first && second);
  long differing = 0;
  for (int y = 711; y < 711 + 1292; ++y)
    for (int x = 443; x < 443 + 1292; ++x)
      differing += !near(pixelAt(first, x, y), pixelAt(second, x, y), 0);
  EXPECT_EQ(differing, 0);
}

// Shut-down destroys the registered textures in byte-wise name order; each
// photograph's size tells which one a destroyed texture was.
TEST(Loading, ShutDownDestroysTexturesInByteWiseNameOrder) {
  ScratchDir dir;
  dir.populate(12);
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(trace);
  ASSERT_EQ(run.status, 0) << run.log;
  std::vector<std::string> destroyed = linesStartingWith(trace, "destroy");
  // The walk is the last run of destructions: bg, 12 photographs, the
  // canvas and the last caption.
  ASSERT_GE(destroyed.size(), 15u);
  destroyed.erase(destroyed.begin(), destroyed.end() - 15);
  std::vector<std::string> expected = {"destroy 1080x1920"};
  for (int i : {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9})
    expected.push_back("destroy " + std::to_string(400 + i) + "x300");
  expected.push_back("destroy 2160x3840");
  EXPECT_THAT(std::vector<std::string>(destroyed.begin(), destroyed.end() - 1),
              ElementsAreArray(expected));
  EXPECT_THAT(destroyed.back(), testing::MatchesRegex("destroy [0-9]+x[0-9]+"));
  EXPECT_THAT(trace.back(), HasSubstr("checkpoint TTF_CloseFont textures=0"));
}

}  // namespace
