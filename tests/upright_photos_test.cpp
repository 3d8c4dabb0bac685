// End-to-end: phone photographs tagged with an EXIF orientation land on
// their posters upright, at the place the upright size is fitted to.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/scratch_run.h"

namespace {

const Rgba kRed{220, 30, 30, 255};
const Rgba kGreen{30, 180, 40, 255};
const Rgba kBlue{40, 60, 220, 255};
const Rgba kYellow{230, 210, 20, 255};
const Rgba kBackground{200, 220, 240, 255};

struct Stored {
  int orientation;
  int w, h;
  Rgba quadrants[4];  // top-left, top-right, bottom-left, bottom-right
};

// How a camera stores the upright 400 x 300 picture red | green over
// blue | yellow under each orientation tag.
const Stored kStored[] = {
    {1, 400, 300, {kRed, kGreen, kBlue, kYellow}}, {2, 400, 300, {kGreen, kRed, kYellow, kBlue}},
    {3, 400, 300, {kYellow, kBlue, kGreen, kRed}}, {4, 400, 300, {kBlue, kYellow, kRed, kGreen}},
    {5, 300, 400, {kRed, kBlue, kGreen, kYellow}}, {6, 300, 400, {kGreen, kYellow, kRed, kBlue}},
    {7, 300, 400, {kYellow, kGreen, kBlue, kRed}}, {8, 300, 400, {kBlue, kRed, kYellow, kGreen}},
};

void expectUpright(const ScratchDir& dir) {
  // 400 x 300 upright fits the photograph box as {443, 872, 1292, 969}.
  const struct {
    int x, y;
    Rgba colour;
  } probes[] = {{443 + 323, 872 + 242, kRed},       {443 + 969, 872 + 242, kGreen},
                {443 + 323, 872 + 727, kBlue},      {443 + 969, 872 + 727, kYellow},
                {443 + 646, 872 - 20, kBackground}, {443 + 646, 872 + 969 + 20, kBackground}};
  for (const Stored& s : kStored) {
    Surface poster = loadRgba(dir.at("result" + std::to_string(s.orientation) + ".png"));
    ASSERT_TRUE(poster);
    for (const auto& p : probes) {
      const Rgba seen = pixelAt(poster, p.x, p.y);
      EXPECT_TRUE(near(seen, p.colour, 24))
          << "orientation " << s.orientation << " at (" << p.x << ", " << p.y
          << "): " << describe(seen) << " expected " << describe(p.colour);
    }
  }
}

TEST(UprightPhotos, EveryOrientationLandsUprightWhereTheUprightSizeFits) {
  ScratchDir dir;
  dir.populate(8);
  for (const Stored& s : kStored) {
    saveJpegAs(quadrantSurface(s.w, s.h, s.quadrants),
               dir.at("city_photo" + std::to_string(s.orientation) + ".jpeg"), JpegKind::kBaseline,
               exifWithOrientation(s.orientation));
  }
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  expectUpright(dir);
}

#ifdef POSTERGEN_HAVE_HEIF
// HEIC and AVIF files turn by their own transformations (irot, imir),
// once: the EXIF tag that phones write beside them is not applied on top.
TEST(UprightPhotos, HeifAndAvifTurnByTheirOwnTransformationsOnly) {
  ScratchDir dir;
  dir.populate(8);
  for (const Stored& s : kStored)
    saveHeif(quadrantSurface(s.w, s.h, s.quadrants),
             dir.at("city_photo" + std::to_string(s.orientation) + ".jpeg"), s.orientation % 2 == 0,
             s.orientation, s.orientation);
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  expectUpright(dir);
}
#endif

TEST(UprightPhotos, UntaggedAndTagOnePhotographsGiveTheSamePosterAsNoExif) {
  const Rgba quadrants[4] = {kRed, kGreen, kBlue, kYellow};
  std::string posters[3];
  const std::string app1s[3] = {"", exifWithOrientation(1),
                                std::string("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20)};
  for (int i = 0; i < 3; ++i) {
    ScratchDir dir;
    dir.populate(1);
    saveJpegAs(quadrantSurface(400, 300, quadrants), dir.at("city_photo1.jpeg"),
               JpegKind::kBaseline, app1s[i]);
    ASSERT_EQ(dir.run().status, 0);
    posters[i] = dir.read("result1.png");
  }
  ASSERT_FALSE(posters[0].empty());
  EXPECT_TRUE(posters[1] == posters[0]) << "tag 1 differs";
  EXPECT_TRUE(posters[2] == posters[0]) << "EXIF without the tag differs";
}

TEST(UprightPhotos, DamagedExifLoadsAsUntagged) {
  const Rgba quadrants[4] = {kRed, kGreen, kBlue, kYellow};
  std::string damaged = exifWithOrientation(6);
  damaged[10] = 100;  // IFD0 offset beyond the block
  ScratchDir dir;
  dir.populate(2);
  saveJpegAs(quadrantSurface(400, 300, quadrants), dir.at("city_photo1.jpeg"), JpegKind::kBaseline,
             damaged);
  saveJpegAs(quadrantSurface(400, 300, quadrants), dir.at("city_photo2.jpeg"), JpegKind::kBaseline,
             exifWithOrientation(6).substr(0, 21));
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  for (const char* name : {"result1.png", "result2.png"}) {
    Surface poster = loadRgba(dir.at(name));
    ASSERT_TRUE(poster);
    EXPECT_TRUE(near(pixelAt(poster, 443 + 323, 872 + 242), kRed, 24)) << name;
  }
}

TEST(UprightPhotos, BackgroundIsNeverTurned) {
  const Rgba quadrants[4] = {kRed, kGreen, kBlue, kYellow};
  ScratchDir dir;
  dir.populate(0);
  dir.write("size.txt", "1 48");
  dir.write("d1.txt", "");
  saveJpeg(solidSurface(400, 300, kBackground), dir.at("city_photo1.jpeg"));
  // JPEG content under the background's name: decoded by content, tagged 6.
  saveJpegAs(quadrantSurface(300, 400, quadrants), dir.at("bg.png"), JpegKind::kBaseline,
             exifWithOrientation(6));
  ASSERT_EQ(dir.run().status, 0);
  Surface poster = loadRgba(dir.at("result1.png"));
  ASSERT_TRUE(poster);
  EXPECT_TRUE(near(pixelAt(poster, 100, 100), kRed, 24));
  EXPECT_TRUE(near(pixelAt(poster, 2000, 100), kGreen, 24));
  EXPECT_TRUE(near(pixelAt(poster, 100, 3700), kBlue, 24));
}

}  // namespace
