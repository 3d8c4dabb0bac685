#include "captions/glyph_check.h"

#include <algorithm>
#include <cstdio>

#include "app/warning_log.h"
#include "captions/caption_script.h"

bool drawnWithoutGlyph(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x00AD || c == 0x034F ||
         (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || (c >= 0xE0000 && c <= 0xE0FFF);
}

namespace {

bool combiningMark(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F);
}

}  // namespace

std::vector<char32_t> missingGlyphs(TTF_Font* font, const std::string& caption) {
  std::vector<char32_t> missing;
  bool baseDrawn = false;
  for (char32_t c : codePointsOf(caption)) {
    // The shaper composes an accent with the letter before it when the
    // font has the accented letter, as fonts with few accents do.
    if (drawnWithoutGlyph(c) || (combiningMark(c) && baseDrawn)) continue;
    baseDrawn = TTF_GlyphIsProvided32(font, c);
    if (!baseDrawn) missing.push_back(c);
  }
  return missing;
}

void warnOfMissingGlyphs(TTF_Font* font, const std::string& path, const std::string& caption) {
  const std::vector<char32_t> missing = missingGlyphs(font, caption);
  if (missing.empty()) return;
  // The first few distinct ones are named.
  constexpr size_t kNamed = 5;
  std::vector<char32_t> named;
  for (char32_t c : missing)
    if (named.size() < kNamed && std::find(named.begin(), named.end(), c) == named.end())
      named.push_back(c);
  std::string codes;
  for (char32_t c : named) {
    char code[16];
    std::snprintf(code, sizeof code, " U+%04X", static_cast<unsigned>(c));
    codes += code;
  }
  const std::string count =
      missing.size() == 1 ? "1 character" : std::to_string(missing.size()) + " characters";
  logWarning("%s has %s that font.ttf lacks, drawn as boxes or not at all:%s\n", path.c_str(),
             count.c_str(), codes.c_str());
}
