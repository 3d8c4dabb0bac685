// End-to-end runs of poster composition and export, judged by the log and
// by the pixels of the posters written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/scratch_run.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

const Rgba kBackground{200, 220, 240, 255};

bool isDark(Rgba c) { return c.r < 80 && c.g < 80 && c.b < 80; }

bool inside(int x, int y, SDL_Rect r) {
  return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

// Dark (caption) pixels of a poster, and how many lie outside the box.
struct DarkPixels {
  long total = 0;
  long outside = 0;
};

DarkPixels darkPixels(const Surface& poster, SDL_Rect box) {
  DarkPixels found;
  for (int y = 0; y < poster->h; ++y)
    for (int x = 0; x < poster->w; ++x)
      if (isDark(pixelAt(poster, x, y))) {
        ++found.total;
        if (!inside(x, y, box)) ++found.outside;
      }
  return found;
}

constexpr SDL_Rect kCaptionBox{275, 2450, 1625, 980};

struct Placement {
  int w, h;
  SDL_Rect expected;
};

// A photograph fills its fitted rectangle and nothing around it: probes two
// pixels inside and two pixels outside each edge.
TEST(Poster, PhotographsLandWhereTheFitPutsThem) {
  const Placement placements[] = {{800, 600, {443, 872, 1292, 969}},
                                  {600, 800, {604, 711, 969, 1292}},
                                  {500, 500, {443, 711, 1292, 1292}}};
  ScratchDir dir;
  dir.populate(3);
  for (int i = 1; i <= 3; ++i) {
    const Placement& p = placements[i - 1];
    saveJpeg(solidSurface(p.w, p.h, photoColour(i)),
             dir.at("city_photo" + std::to_string(i) + ".jpeg"));
  }
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.log;
  for (int i = 1; i <= 3; ++i) {
    const SDL_Rect r = placements[i - 1].expected;
    Surface poster = loadRgba(dir.at("result" + std::to_string(i) + ".png"));
    ASSERT_TRUE(poster);
    ASSERT_EQ(poster->w, 2160);
    ASSERT_EQ(poster->h, 3840);
    const int midX = r.x + r.w / 2;
    const int midY = r.y + r.h / 2;
    const struct {
      int x, y;
      bool photo;
    } probes[] = {{r.x + 2, midY, true},  {r.x + r.w - 3, midY, true},
                  {midX, r.y + 2, true},  {midX, r.y + r.h - 3, true},
                  {r.x - 3, midY, false}, {r.x + r.w + 2, midY, false},
                  {midX, r.y - 3, false}, {midX, r.y + r.h + 2, false}};
    for (const auto& probe : probes) {
      const Rgba seen = pixelAt(poster, probe.x, probe.y);
      const Rgba want = probe.photo ? photoColour(i) : kBackground;
      EXPECT_TRUE(near(seen, want, 12))
          << "poster " << i << " at (" << probe.x << ", " << probe.y << "): " << describe(seen)
          << " expected " << describe(want);
    }
  }
}

TEST(Poster, CaptionInkStaysInsideTheCaptionBox) {
  ScratchDir dir;
  dir.populate(1);
  dir.copyFrom(kCjkFont, "font.ttf");
  dir.write("d1.txt",
            "\xE5\x9F\x8E\xE5\xB8\x82\xEF\xBC\x8C\xE5\xA4\x9C\xE6\x99\xAF"
            "\xE3\x80\x82 A long English line that has to be wrapped because "
            "it is much wider than two thousand pixels at this size.\nLine two");
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.log;
  Surface poster = loadRgba(dir.at("result1.png"));
  ASSERT_TRUE(poster);
  const DarkPixels ink = darkPixels(poster, kCaptionBox);
  EXPECT_GT(ink.total, 10000);
  EXPECT_EQ(ink.outside, 0);
  // Outside both boxes the background shows.
  for (const auto& [x, y] : {std::pair{10, 10}, {2150, 3830}, {1080, 2200}, {100, 3000}})
    EXPECT_TRUE(near(pixelAt(poster, x, y), kBackground, 2)) << x << "," << y;
}

// A picture beyond the renderer's largest texture (OpenGL: 16384 a side)
// is scaled down to fit by averaging, and prints as the software renderer,
// which has no limit, prints the whole picture.
TEST(Poster, PicturesBeyondTheLargestTexturePrintAsWithoutALimit) {
  const Rgba colours[4] = {
      {200, 30, 30, 255}, {30, 200, 30, 255}, {30, 30, 200, 255}, {230, 230, 40, 255}};
  struct Case {
    const char* file;
    int w, h;
  };
  for (const Case& c : {Case{"city_photo1.jpeg", 20000, 3000},
                        Case{"city_photo1.jpeg", 2400, 17000}, Case{"bg.png", 17000, 900}}) {
    ScratchDir opengl, software;
    for (ScratchDir* dir : {&opengl, &software}) {
      dir->populate(1);
      if (std::string(c.file) == "bg.png")
        savePng(quadrantSurface(c.w, c.h, colours), dir->at(c.file));
      else
        saveJpeg(quadrantSurface(c.w, c.h, colours), dir->at(c.file));
    }
    const RunResult run = opengl.run();
    ASSERT_EQ(run.status, 0) << c.file << " " << c.w << "x" << c.h << ": " << run.out;
    ASSERT_EQ(software.run({{"SDL_VIDEODRIVER", "dummy"}}).status, 0);
    Surface a = loadRgba(opengl.at("result1.png"));
    Surface b = loadRgba(software.at("result1.png"));
    ASSERT_TRUE(a && b);
    // Only pixels along the quadrants' edges may differ much.
    long differing = 0;
    for (int y = 0; y < 3840; y += 2)
      for (int x = 0; x < 2160; x += 2) differing += !near(pixelAt(a, x, y), pixelAt(b, x, y), 16);
    EXPECT_LT(differing, 1080L * 1920 / 200) << c.file << " " << c.w << "x" << c.h;
  }
}

// Posters are written on worker threads when there are CPUs for them; the
// log and the posters are the same as with one CPU.
TEST(Poster, RunLogsCaptionsThenOneSaveLinePerPosterInOrderOnAnyNumberOfCpus) {
  std::vector<std::string> expected;
  for (int i = 1; i <= 6; ++i) {
    expected.push_back("start->Caption " + std::to_string(i));
    expected.push_back("end->Caption " + std::to_string(i));
  }
  for (int i = 1; i <= 6; ++i)
    expected.push_back("Saved texture as PNG to \"result" + std::to_string(i) + ".png\"");
  ScratchDir every, one;
  every.populate(6);
  one.populate(6);
  const RunResult run = every.run();
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(), ElementsAreArray(expected));
  EXPECT_EQ(run.out, "");
  const RunResult single = one.run({{kOneCpu, ""}});
  ASSERT_EQ(single.status, 0) << single.log;
  EXPECT_THAT(single.logLines(), ElementsAreArray(expected));
  for (int i = 1; i <= 6; ++i) {
    const std::string name = "result" + std::to_string(i) + ".png";
    EXPECT_EQ(every.read(name), one.read(name)) << name;
  }
}

TEST(Poster, FailedExportIsLoggedAndTheRunGoesOn) {
  ScratchDir dir;
  dir.populate(3);
  dir.makeDirectory("result2.png");
  const RunResult run = dir.run();
  EXPECT_EQ(run.status, 0);
  const auto lines = run.logLines();
  ASSERT_EQ(lines.size(), 9u) << run.log;
  EXPECT_EQ(lines[6], "Saved texture as PNG to \"result1.png\"");
  EXPECT_EQ(lines[7].rfind("Failed saving image: ", 0), 0u) << lines[7];
  EXPECT_EQ(lines[8], "Saved texture as PNG to \"result3.png\"");
  EXPECT_TRUE(loadRgba(dir.at("result3.png")));
}

TEST(Poster, ExistingResultFileIsReplaced) {
  ScratchDir dir;
  dir.populate(1);
  dir.write("result1.png", std::string(100000, 'x'));
  ASSERT_EQ(dir.run().status, 0);
  Surface poster = loadRgba(dir.at("result1.png"));
  ASSERT_TRUE(poster);
  EXPECT_EQ(poster->w, 2160);
}

// SDL_ttf cannot render text of zero width; such a caption is left out of
// its poster and the run goes on.
TEST(Poster, CaptionWithNothingToRenderIsLeftOut) {
  using namespace std::string_literals;
  for (const std::string& caption : {""s, "\0after a NUL"s}) {
    ScratchDir dir;
    dir.populate(3);
    dir.write("d2.txt", caption);
    std::vector<std::string> trace;
    const RunResult run = dir.runTraced(trace);
    ASSERT_EQ(run.status, 0) << run.log;
    for (int i = 1; i <= 3; ++i) {
      Surface poster = loadRgba(dir.at("result" + std::to_string(i) + ".png"));
      ASSERT_TRUE(poster) << i;
      EXPECT_EQ(darkPixels(poster, kCaptionBox).total > 0, i != 2) << i;
    }
    // Poster 2 is presented with one texture fewer: caption 1's texture is
    // destroyed and none takes its place.
    EXPECT_THAT(
        linesStartingWith(trace, "checkpoint SDL_RenderPresent"),
        ElementsAre(HasSubstr("textures=6 "), HasSubstr("textures=5 "), HasSubstr("textures=6 ")));
  }
}

TEST(Poster, CaptionWithoutATextureIsLeftOutAndLogged) {
  ScratchDir dir;
  dir.populate(2);
  std::vector<std::string> trace;
  // Textures from surfaces: bg, two photographs, then caption 1.
  const RunResult run =
      dir.runTraced(trace, {{"POSTERGEN_FAIL", "SDL_CreateTextureFromSurface:4"}});
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(),
              testing::Contains("Failed creating the caption texture of item 1: injected failure"));
  Surface first = loadRgba(dir.at("result1.png"));
  Surface second = loadRgba(dir.at("result2.png"));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(darkPixels(first, kCaptionBox).total, 0);
  EXPECT_GT(darkPixels(second, kCaptionBox).total, 0);
}

TEST(Poster, MissingCaptionFileGivesAPosterWithoutCaption) {
  ScratchDir dir;
  dir.populate(1);
  std::remove(dir.at("d1.txt").c_str());
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(), testing::Contains("start->"));
  Surface poster = loadRgba(dir.at("result1.png"));
  ASSERT_TRUE(poster);
  EXPECT_EQ(darkPixels(poster, kCaptionBox).total, 0);
}

TEST(Poster, CaptionThatCannotBeRenderedEndsTheRunAfterEarlierPosters) {
  ScratchDir dir;
  dir.populate(3);
  std::vector<std::string> trace;
  const RunResult run =
      dir.runTraced(trace, {{"POSTERGEN_FAIL", "TTF_RenderUTF8_Solid_Wrapped:3"}});
  EXPECT_EQ(run.status, kStatusUnrenderable);
  const auto lines = run.logLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            "Error:Couldn't load the words' texture with SDL_ttf, "
            "information:injected failure");
  EXPECT_TRUE(dir.exists("result1.png"));
  EXPECT_TRUE(dir.exists("result2.png"));
  EXPECT_FALSE(dir.exists("result3.png"));
}

// The caption box of a poster, pixel for pixel.
std::vector<Rgba> captionPixels(const Surface& poster) {
  std::vector<Rgba> pixels;
  for (int y = kCaptionBox.y; y < kCaptionBox.y + kCaptionBox.h; ++y)
    for (int x = kCaptionBox.x; x < kCaptionBox.x + kCaptionBox.w; ++x)
      pixels.push_back(pixelAt(poster, x, y));
  return pixels;
}

bool samePixels(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!near(a[i], b[i], 0)) return false;
  return true;
}

// Read right to left, Hebrew prints as the same letters typed in the order
// they are seen, set left to right after a LEFT-TO-RIGHT MARK.
TEST(Poster, HebrewPrintsAsTheSameTextTypedInVisualOrder) {
  ScratchDir dir;
  dir.populate(2);
  dir.write("d1.txt", "שלום עולם");
  dir.write("d2.txt", "\u200Eםלוע םולש");
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(), testing::Not(testing::Contains(testing::StartsWith("Warning:"))));
  Surface logical = loadRgba(dir.at("result1.png"));
  Surface visual = loadRgba(dir.at("result2.png"));
  ASSERT_TRUE(logical && visual);
  EXPECT_GT(darkPixels(logical, kCaptionBox).total, 1000);
  EXPECT_TRUE(samePixels(captionPixels(logical), captionPixels(visual)));
}

// Devanagari is shaped into conjuncts, its vowel signs placed: the caption
// is as wide as HarfBuzz's own shaping of it (hb-shape), which is narrower
// than its letters set one by one.
TEST(Poster, DevanagariIsAsWideAsHarfBuzzShapesIt) {
  const std::string font = "/usr/share/fonts/truetype/lohit-devanagari/Lohit-Devanagari.ttf";
  const std::string text = "क्षत्रिय किताब";
  ScratchDir dir;
  dir.populate(1);
  dir.copyFrom(font, "font.ttf");
  dir.write("d1.txt", text);
  std::vector<std::string> trace;
  const RunResult run = dir.runTraced(trace);
  ASSERT_EQ(run.status, 0) << run.log;
  EXPECT_THAT(run.logLines(), testing::Not(testing::Contains(testing::StartsWith("Warning:"))));
  // Textures: background, canvas, photograph, then the caption.
  const std::vector<std::string> created = linesStartingWith(trace, "create ");
  ASSERT_GE(created.size(), 4u);
  const int width = std::stoi(created[3].substr(7));
  FILE* shaping = popen(("hb-shape --font-size=48 " + font + " '" + text + "'").c_str(), "r");
  ASSERT_TRUE(shaping);
  char glyphs[4096] = "";
  const size_t n = fread(glyphs, 1, sizeof glyphs - 1, shaping);
  pclose(shaping);
  int advance = 0;
  for (const char* p = glyphs; (p = strchr(p, '+')) != nullptr && p < glyphs + n; ++p)
    advance += atoi(p + 1);
  ASSERT_GT(advance, 100) << glyphs;
  EXPECT_NEAR(width, advance, 4) << glyphs;
}

// Nothing that prints as written is warned of: the bundled example, and
// English with blank lines, accents typed as combining marks and Chinese
// with full-width punctuation, in WenQuanYi.
TEST(Poster, ExampleAndWellFormedCaptionsGetNoWarning) {
  ScratchDir dir;
  for (const char* name : {"size.txt", "bg.png", "d1.txt", "d2.txt", "d3.txt", "d4.txt"})
    dir.copyFrom(std::string(POSTERGEN_EXAMPLE_DIR) + "/" + name, name);
  for (int i = 1; i <= 7; ++i)
    dir.copyFrom(
        std::string(POSTERGEN_EXAMPLE_DIR) + "/city_photo" + std::to_string(i % 4 + 1) + ".jpeg",
        "city_photo" + std::to_string(i) + ".jpeg");
  dir.copyFrom(kCjkFont, "font.ttf");
  dir.write("size.txt", "7 96");
  dir.write("d5.txt", "Evening light\n\n\nover the river");
  dir.write("d6.txt", "Cafe\u0301 au lait with Zo\u0308e");
  dir.write("d7.txt", "春天的城市，花开满街。\n夜色温柔！");
  const RunResult run = dir.run();
  ASSERT_EQ(run.status, 0) << run.out << run.log;
  EXPECT_THAT(run.logLines(), testing::Not(testing::Contains(testing::StartsWith("Warning:"))))
      << run.log;
  EXPECT_EQ(linesStartingWith(run.logLines(), "Saved texture").size(), 7u);
}

}  // namespace
