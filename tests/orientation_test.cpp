#include "resources/orientation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_run.h"

namespace {

// A 3 x 2 picture whose pixels are numbered 1 to 6, row by row, in an
// 8-bit surface so that the numbers are the bytes.
Surface numbered() {
  Surface s(SDL_CreateRGBSurfaceWithFormat(0, 3, 2, 8, SDL_PIXELFORMAT_INDEX8));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      static_cast<Uint8*>(s->pixels)[y * s->pitch + x] = static_cast<Uint8>(1 + 3 * y + x);
  return s;
}

std::vector<std::vector<int>> rows(const SDL_Surface* s) {
  std::vector<std::vector<int>> result(s->h);
  for (int y = 0; y < s->h; ++y)
    for (int x = 0; x < s->w; ++x)
      result[y].push_back(static_cast<const Uint8*>(s->pixels)[y * s->pitch + x]);
  return result;
}

struct TurnCase {
  int orientation;
  std::vector<std::vector<int>> viewed;  // the stored picture is 1 2 3 / 4 5 6
};

class TurnTable : public testing::TestWithParam<TurnCase> {};

TEST_P(TurnTable, StoredPictureIsTurnedToHowItIsViewed) {
  const TurnCase& c = GetParam();
  SDL_Surface* upright = turnUpright(numbered().release(), c.orientation);
  ASSERT_NE(upright, nullptr);
  EXPECT_EQ(upright->format->format, SDL_PIXELFORMAT_INDEX8);
  EXPECT_EQ(rows(upright), c.viewed) << "orientation " << c.orientation;
  SDL_FreeSurface(upright);
}

INSTANTIATE_TEST_SUITE_P(
    Exif, TurnTable,
    testing::Values(TurnCase{1, {{1, 2, 3}, {4, 5, 6}}}, TurnCase{2, {{3, 2, 1}, {6, 5, 4}}},
                    TurnCase{3, {{6, 5, 4}, {3, 2, 1}}}, TurnCase{4, {{4, 5, 6}, {1, 2, 3}}},
                    TurnCase{5, {{1, 4}, {2, 5}, {3, 6}}}, TurnCase{6, {{4, 1}, {5, 2}, {6, 3}}},
                    TurnCase{7, {{6, 3}, {5, 2}, {4, 1}}}, TurnCase{8, {{3, 6}, {2, 5}, {1, 4}}},
                    TurnCase{0, {{1, 2, 3}, {4, 5, 6}}}, TurnCase{9, {{1, 2, 3}, {4, 5, 6}}}));

struct TagCase {
  const char* what;
  std::string app1;  // empty: no EXIF segment at all
  int orientation;
};

std::string truncated(std::string exif, size_t size) { return exif.substr(0, size); }

std::string withIfdOffset(std::string exif, char offset) {
  exif[10] = offset;  // Intel order: the IFD0 offset's low byte
  return exif;
}

std::string withValueType(std::string exif, char type) {
  exif[18] = type;  // the entry's type, low byte
  return exif;
}

class TagTable : public testing::TestWithParam<TagCase> {};

TEST_P(TagTable, OrientationIsReadOrTakenAsStored) {
  const TagCase& c = GetParam();
  ScratchDir dir;
  saveJpegAs(solidSurface(16, 8, {90, 90, 90, 255}), dir.at("photo.jpeg"), JpegKind::kBaseline,
             c.app1);
  EXPECT_EQ(exifOrientation(dir.at("photo.jpeg")), c.orientation) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Exif, TagTable,
    testing::Values(
        TagCase{"no EXIF", "", 1}, TagCase{"tag 1", exifWithOrientation(1), 1},
        TagCase{"tag 6", exifWithOrientation(6), 6},
        TagCase{"tag 8, Motorola order", exifWithOrientation(8, true), 8},
        TagCase{"tag 3", exifWithOrientation(3), 3}, TagCase{"value 0", exifWithOrientation(0), 1},
        TagCase{"value 9", exifWithOrientation(9), 1},
        TagCase{"truncated inside the entry", truncated(exifWithOrientation(6), 20), 1},
        TagCase{"only the EXIF header", truncated(exifWithOrientation(6), 6), 1},
        TagCase{"IFD offset beyond the end", withIfdOffset(exifWithOrientation(6), 120), 1},
        TagCase{"IFD offset into the header", withIfdOffset(exifWithOrientation(6), 2), 1},
        TagCase{"value typed as ASCII", withValueType(exifWithOrientation(6), 2), 1}));

TEST(ExifOrientation, MissingOrNonJpegFileIsTakenAsStored) {
  ScratchDir dir;
  savePng(solidSurface(4, 4, {1, 2, 3, 255}), dir.at("photo.png"));
  EXPECT_EQ(exifOrientation(dir.at("photo.png")), 1);
  EXPECT_EQ(exifOrientation(dir.at("absent.jpeg")), 1);
}

}  // namespace
