#include "captions/utf8_check.h"

#include "captions/caption_script.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct Utf8Case {
  const char* what;
  std::string text;
  size_t firstBad;
};

class Utf8Table : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Table, FindsTheFirstByteOutsideWellFormedUtf8) {
  EXPECT_EQ(firstNonUtf8Byte(GetParam().text), GetParam().firstBad) << GetParam().what;
}

constexpr size_t kAll = std::string::npos;

INSTANTIATE_TEST_SUITE_P(
    Captions, Utf8Table,
    testing::Values(Utf8Case{"ASCII with NUL", "a\0b"s, kAll},
                    Utf8Case{"Chinese with a byte-order mark", "\xEF\xBB\xBF城市，夜", kAll},
                    Utf8Case{"four-byte emoji", "x\xF0\x9F\x98\x80", kAll},
                    Utf8Case{"GBK", "ab\xB3\xC7", 2}, Utf8Case{"Latin-1", "caf\xE9", 3},
                    Utf8Case{"overlong slash", "a\xC0\xAF", 1},
                    Utf8Case{"overlong three-byte form", "\xE0\x80\xAF", 0},
                    Utf8Case{"surrogate", "ok\xED\xA0\x80", 2},
                    Utf8Case{"past U+10FFFF", "\xF4\x90\x80\x80", 0},
                    Utf8Case{"sequence cut at the end", "ab\xE5\x9F", 2},
                    Utf8Case{"bad continuation", "\xE5\x28\x8E", 0}));

TEST(Utf8Check, RecognisesBothUtf16ByteOrderMarks) {
  EXPECT_TRUE(startsWithUtf16Mark("\xFF\xFEh\0"s));
  EXPECT_TRUE(startsWithUtf16Mark("\xFE\xFF\0h"s));
  EXPECT_FALSE(startsWithUtf16Mark("\xEF\xBB\xBFh"));
  EXPECT_FALSE(startsWithUtf16Mark("\xFF"));
}

}  // namespace

namespace {

struct ScriptCase {
  const char* what;
  std::string text;
  bool rightToLeft;
  std::string script;
  bool mixes;
};

class ScriptTable : public testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptTable, TellsDirectionScriptAndMixture) {
  const ScriptCase& c = GetParam();
  const CaptionScript found = captionScript(c.text);
  EXPECT_EQ(found.rightToLeft, c.rightToLeft) << c.what;
  EXPECT_EQ(found.script, c.script) << c.what;
  EXPECT_EQ(found.mixesDirections, c.mixes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Captions, ScriptTable,
    testing::Values(ScriptCase{"English", "Evening light, 2024", false, "", false},
                    ScriptCase{"Chinese", "城市，夜景。", false, "", false},
                    ScriptCase{"combining accents", "Cafe\xCC\x81 Zo\xCC\x88", false, "", false},
                    ScriptCase{"Hebrew", "\"שלום עולם\"", true, "Hebr", false},
                    ScriptCase{"Hebrew in visual order", "\xE2\x80\x8Eםלוע םולש", false, "Hebr",
                               false},
                    ScriptCase{"Arabic", "مرحبا بالعالم", true, "Arab", false},
                    ScriptCase{"Devanagari", "क्षत्रिय किताब", false, "Deva", false},
                    ScriptCase{"Thai", "สวัสดี", false, "Thai", false},
                    ScriptCase{"Hebrew with English", "שלום world", true, "", true},
                    ScriptCase{"English with a Hebrew word", "Hello שלום!", false, "", true},
                    ScriptCase{"Hebrew with a number", "שנת 2024", true, "Hebr", true},
                    ScriptCase{"Hebrew with one digit", "פרק 3", true, "Hebr", false}));

}  // namespace
