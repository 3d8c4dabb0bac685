#include "poster/fit.h"

#include "poster/legibility.h"

#include <gtest/gtest.h>

#include <ostream>

static std::ostream& operator<<(std::ostream& os, const SDL_Rect& r) {
  return os << "{" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << "}";
}

namespace {

struct FitCase {
  int w, h;
  SDL_Rect box;
  SDL_Rect placed;
};

class FitTable : public testing::TestWithParam<FitCase> {};

TEST_P(FitTable, SourceFillsOneSideOfItsBoxAndIsCentredOnTheOther) {
  const FitCase& c = GetParam();
  const SDL_Rect r = fitIntoBox(c.w, c.h, c.box);
  EXPECT_TRUE(r.x == c.placed.x && r.y == c.placed.y && r.w == c.placed.w && r.h == c.placed.h)
      << c.w << " x " << c.h << " placed at " << r << ", expected " << c.placed;
}

INSTANTIATE_TEST_SUITE_P(Photographs, FitTable,
                         testing::Values(FitCase{4000, 3000, kPhotographBox, {443, 872, 1292, 969}},
                                         FitCase{3000, 4000, kPhotographBox, {604, 711, 969, 1292}},
                                         FitCase{800, 800, kPhotographBox, kPhotographBox},
                                         FitCase{1292, 1292, kPhotographBox, kPhotographBox},
                                         FitCase{4000, 4000, kPhotographBox, kPhotographBox},
                                         FitCase{3000, 1, kPhotographBox, {443, 1357, 1292, 0}},
                                         FitCase{1, 3000, kPhotographBox, {1089, 711, 0, 1292}}));

INSTANTIATE_TEST_SUITE_P(Captions, FitTable,
                         testing::Values(FitCase{2000, 300, kCaptionBox, {275, 2818, 1625, 243}},
                                         FitCase{500, 100, kCaptionBox, {275, 2777, 1625, 325}},
                                         FitCase{2000, 1500, kCaptionBox, {434, 2450, 1306, 980}},
                                         FitCase{325, 196, kCaptionBox, kCaptionBox},
                                         FitCase{1625, 980, kCaptionBox, kCaptionBox},
                                         FitCase{3250, 1960, kCaptionBox, kCaptionBox},
                                         FitCase{1999, 1206, kCaptionBox, {275, 2450, 1624, 980}}));

// A line prints at its height scaled as the whole raster is.
TEST(Legibility, LinePrintsAtItsHeightScaledByTheFit) {
  EXPECT_EQ(printedLineHeight(100, 2000, 300), 81);  // reduced to 1625 x 243
  EXPECT_EQ(printedLineHeight(100, 500, 100), 325);  // enlarged to 1625 x 325
  EXPECT_EQ(printedLineHeight(14, 2000, 1500), 9);   // 1306 x 980: far too small
  EXPECT_LT(printedLineHeight(14, 2000, 1500), kMinLegibleLineHeight);
}

}  // namespace
