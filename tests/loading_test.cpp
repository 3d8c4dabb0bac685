// End-to-end runs of input loading: captions, background and photographs,
// and the order in which shut-down releases what was loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(Loading, MissingThirdPhotographStopsAfterItsCaptionBeforeAnyPoster) {
  ScratchDir dir;
  dir.populate(5);
  std::remove(dir.at("city_photo3.jpeg").c_str());
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(trace);
  EXPECT_EQ(run.status, kStatusUnloadable);
  EXPECT_THAT(run.out, HasSubstr("city_photo3.jpeg"));
  const auto lines = run.logLines();
  EXPECT_THAT(linesStartingWith(lines, "start->"),
              ElementsAre("start->Caption 1", "start->Caption 2", "start->Caption 3"));
  EXPECT_THAT(linesStartingWith(lines, "end->"),
              ElementsAre("end->Caption 1", "end->Caption 2", "end->Caption 3"));
  // Background, canvas, then photographs 1 and 2 (401 and 402 wide).
  EXPECT_THAT(
      linesStartingWith(trace, "create"),
      ElementsAre("create 1080x1920", "create 2160x3840", "create 401x300", "create 402x300"));
  for (int i = 1; i <= 5; ++i) EXPECT_FALSE(dir.exists("result" + std::to_string(i) + ".png"));
}

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

TEST(Loading, GrayscaleProgressiveAndCmykJpegsLoad) {
  const Rgba orange{230, 120, 40, 255};
  const Rgba background{200, 220, 240, 255};
  for (JpegKind kind : {JpegKind::kGrayscale, JpegKind::kProgressive, JpegKind::kCmyk}) {
    ScratchDir dir;
    dir.populate(1);
    saveJpegAs(solidSurface(400, 400, orange), dir.at("city_photo1.jpeg"), kind);
    const RunResult run = dir.run();
    ASSERT_EQ(run.status, 0) << static_cast<int>(kind) << run.out << run.log;
    Surface poster = loadRgba(dir.at("result1.png"));
    ASSERT_TRUE(poster);
    // A square photograph fills its whole box.
    const Rgba centre = pixelAt(poster, 443 + 646, 711 + 300);
    EXPECT_FALSE(near(centre, background, 12)) << static_cast<int>(kind);
    // SDL_image hands CMYK samples over as they are stored, so only the
    // other two keep their colours.
    if (kind == JpegKind::kCmyk) continue;
    const Rgba expected = kind == JpegKind::kGrayscale ? Rgba{144, 144, 144, 255} : orange;
    EXPECT_TRUE(near(centre, expected, 12)) << static_cast<int>(kind) << ": " << describe(centre);
  }
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
