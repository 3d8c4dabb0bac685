#include "captions/text_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/scratch_run.h"

namespace {

using namespace std::string_literals;

struct TextModeCase {
  const char* what;
  std::string bytes;
  std::string text;
};

class TextModeTable : public testing::TestWithParam<TextModeCase> {};

TEST_P(TextModeTable, FileReadsAsWindowsTextModeDeliversIt) {
  const TextModeCase& c = GetParam();
  ScratchDir dir;
  dir.write("caption.txt", c.bytes);
  EXPECT_EQ(readFileToString(dir.at("caption.txt")), c.text) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Captions, TextModeTable,
    testing::Values(TextModeCase{"plain",
                                 "A\xEF\xBC\x8C"
                                 "B",
                                 "A\xEF\xBC\x8C"
                                 "B"},
                    TextModeCase{"CR LF becomes LF", "x\r\ny", "x\ny"},
                    TextModeCase{"lone CR stays", "x\ry", "x\ry"},
                    TextModeCase{"CR CR LF keeps the first CR", "x\r\r\ny", "x\r\ny"},
                    TextModeCase{"CR at the end stays", "x\r", "x\r"},
                    TextModeCase{"Ctrl-Z ends the text",
                                 "ab\x1A"
                                 "cd\r\n",
                                 "ab"},
                    TextModeCase{"CR before Ctrl-Z stays",
                                 "ab\r\x1A"
                                 "cd",
                                 "ab\r"},
                    TextModeCase{"byte-order mark stays", "\xEF\xBB\xBFhi", "\xEF\xBB\xBFhi"},
                    TextModeCase{"NUL bytes stay", "a\0b"s, "a\0b"s},
                    TextModeCase{"spaces and tabs stay", " \t x \n", " \t x \n"},
                    TextModeCase{"empty", "", ""}));

TEST(TextFile, MissingFileGivesAnEmptyString) {
  EXPECT_EQ(readFileToString("/nonexistent/d1.txt"), "");
}

// The translation works chunk by chunk; a CR LF pair split between two
// chunks must still become one LF.
TEST(TextFile, CrLfAcrossAChunkBoundaryBecomesOneLf) {
  for (size_t crAt : {size_t{65535}, size_t{65536}, size_t{131071}}) {
    std::string bytes(crAt, 'a');
    bytes += "\r\nz";
    std::istringstream in(bytes);
    std::string expected(crAt, 'a');
    expected += "\nz";
    EXPECT_EQ(readTextStream(in), expected) << "CR at " << crAt;
  }
}

// An endless stream stops being read soon after the limit.
TEST(TextFile, ReadingStopsWithinAChunkOfTheLimit) {
  std::istringstream in(std::string(10 << 20, 'z'));
  const std::string text = readTextStream(in, 65536);
  EXPECT_GT(text.size(), 65536u);
  EXPECT_LE(text.size(), 65536u + 65536u);
}

TEST(TextFile, LargeFileIsReadWhole) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += "line\r\n";
  std::istringstream in(bytes);
  const std::string text = readTextStream(in);
  EXPECT_EQ(text.size(), 200000u * 5);
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

}  // namespace
