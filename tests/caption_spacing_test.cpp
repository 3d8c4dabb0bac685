#include <gtest/gtest.h>

#include <string>

#include "captions/caption_step.h"
#include "captions/replace_all.h"

namespace {

const std::string kComma = "\xEF\xBC\x8C";     // U+FF0C
const std::string kFullStop = "\xE3\x80\x82";  // U+3002

struct SpacingCase {
  const char* what;
  std::string caption;
  std::string spaced;
};

class SpacingTable : public testing::TestWithParam<SpacingCase> {};

TEST_P(SpacingTable, OneSpaceFollowsEachFullWidthCommaAndFullStop) {
  const SpacingCase& c = GetParam();
  EXPECT_EQ(spaceAfterFullWidthMarks(c.caption), c.spaced) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Captions, SpacingTable,
    testing::Values(
        SpacingCase{"both marks", "A" + kComma + "B" + kFullStop,
                    "A" + kComma + " B" + kFullStop + " "},
        SpacingCase{"mark already followed by a space", "A" + kComma + " B", "A" + kComma + "  B"},
        SpacingCase{"two adjacent commas", kComma + kComma, kComma + " " + kComma + " "},
        SpacingCase{"three full stops", kFullStop + kFullStop + kFullStop,
                    kFullStop + " " + kFullStop + " " + kFullStop + " "},
        SpacingCase{"full stop before a line feed", kFullStop + "\nx", kFullStop + " \nx"},
        SpacingCase{"ASCII comma and full stop untouched", "a, b. c", "a, b. c"},
        SpacingCase{"ideographic comma U+3001 untouched",
                    "a\xE3\x80\x81"
                    "b",
                    "a\xE3\x80\x81"
                    "b"},
        SpacingCase{"full-width full stop U+FF0E untouched", "a\xEF\xBC\x8E", "a\xEF\xBC\x8E"},
        SpacingCase{"full-width colon and question mark untouched", "\xEF\xBC\x9A\xEF\xBC\x9F",
                    "\xEF\xBC\x9A\xEF\xBC\x9F"},
        SpacingCase{"bytes of a mark split by another byte",
                    "\xEF\xBC"
                    "x\x8C",
                    "\xEF\xBC"
                    "x\x8C"},
        SpacingCase{"empty", "", ""},
        SpacingCase{"mixed Chinese text",
                    "\xE4\xBD\xA0\xE5\xA5\xBD" + kComma + "\xE4\xB8\x96" + kFullStop,
                    "\xE4\xBD\xA0\xE5\xA5\xBD" + kComma + " \xE4\xB8\x96" + kFullStop + " "}));

TEST(ReplaceAll, InsertedTextIsNotSearchedAgain) {
  EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(replaceAll("abab", "ab", "b"), "bb");
}

TEST(ReplaceAll, MatchesDoNotOverlap) {
  EXPECT_EQ(replaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
}

TEST(ReplaceAll, SubjectWithoutPatternIsUnchanged) {
  EXPECT_EQ(replaceAll("hello", "xyz", "q"), "hello");
}

TEST(ReplaceAll, EveryMarkOfALongCaptionIsSpaced) {
  std::string caption;
  for (int i = 0; i < 100000; ++i) caption += kComma;
  const std::string spaced = spaceAfterFullWidthMarks(caption);
  EXPECT_EQ(spaced.size(), caption.size() + 100000);
  EXPECT_EQ(spaced.substr(spaced.size() - 4), kComma + " ");
}

}  // namespace
